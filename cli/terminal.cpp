#include "cli/terminal.h"

#include "cipher/cipher.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace vlq {

namespace {

// Saved for the signal handler, which puts the echo back before the program
// dies, so an interrupted prompt never leaves the terminal silent.
int g_ttyFd = -1;
termios g_savedMode;
volatile sig_atomic_t g_echoOff = 0;

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void restoreAndRaise(int signal)
{
    if (g_echoOff)
        tcsetattr(g_ttyFd, TCSAFLUSH, &g_savedMode);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

class EchoOff
{
public:
    EchoOff(int fd, const termios &mode)
        : m_fd(fd)
    {
        g_ttyFd = fd;
        g_savedMode = mode;
        struct sigaction action = {};
        action.sa_handler = restoreAndRaise;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            sigaction(kSignals[i], &action, &m_previous[i]);
        termios quiet = mode;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ICANON;
        g_echoOff = 1;
        m_ok = tcsetattr(fd, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff()
    {
        tcsetattr(m_fd, TCSAFLUSH, &g_savedMode);
        g_echoOff = 0;
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            sigaction(kSignals[i], &m_previous[i], nullptr);
    }
    EchoOff(const EchoOff &) = delete;
    EchoOff &operator=(const EchoOff &) = delete;
    bool ok() const { return m_ok; }

private:
    int m_fd;
    bool m_ok = false;
    struct sigaction m_previous[std::size(kSignals)];
};

} // namespace

std::size_t regularFileSize(int fd)
{
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0)
        return 0;
    return static_cast<std::size_t>(status.st_size);
}

void reserveLarge(std::string &out, std::size_t more)
{
    out.reserve(out.size() + more);
#ifdef MADV_HUGEPAGE
    // Only advice, so a refusal changes nothing.
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto from = reinterpret_cast<std::uintptr_t>(out.data() + out.size());
    const auto to = reinterpret_cast<std::uintptr_t>(out.data() + out.capacity());
    const std::uintptr_t begin = (from + page - 1) / page * page;
    const std::uintptr_t end = to / page * page;
    if (end > begin)
        ::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#endif
}

void wipe(std::string &s)
{
    cipher::wipe(s.data(), s.capacity());
    s.clear();
}

bool readAll(int fd, std::string &out, std::size_t limit)
{
    if (const std::size_t size = regularFileSize(fd))
        reserveLarge(out, std::min(size, limit + 1));
    char buffer[1 << 16];
    bool ok = true;
    while (out.size() <= limit) {
        const std::size_t want = std::min(sizeof buffer, limit + 1 - out.size());
        const ssize_t got = ::read(fd, buffer, want);
        if (got > 0) {
            out.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            ok = false;
            break;
        }
    }
    // What passed through the stack is secret as well.
    const int saved = errno;
    cipher::wipe(buffer, sizeof buffer);
    errno = saved;
    return ok;
}

bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t put = ::write(fd, data.data(), data.size());
        if (put >= 0)
            data.remove_prefix(static_cast<std::size_t>(put));
        else if (errno != EINTR)
            return false;
    }
    return true;
}

bool readPasswordFile(const std::string &path, std::size_t maxLength, std::string &password,
    std::string &error, std::string &exposed)
{
    exposed.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    // Only a file on the disk has a mode worth a word: a pipe or /dev/stdin
    // holds the password just while it passes.
    struct stat status;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)
        && (status.st_mode & (S_IRGRP | S_IROTH))) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
        exposed = mode;
    }
    // The longest usable line with its CR LF, and one byte to tell a longer
    // one: a line that does not end within them is too long whatever follows.
    std::string content;
    Wiped wipedContent(content);
    const bool ok = readAll(fd, content, maxLength + 2);
    const int readErrno = errno;
    ::close(fd);
    if (!ok) {
        error = std::strerror(readErrno);
        return false;
    }
    const std::size_t end = content.find('\n');
    password.assign(content, 0, end);
    if (end != std::string::npos || content.size() <= maxLength + 2) {
        if (!password.empty() && password.back() == '\r')
            password.pop_back();
    }
    if (password.size() > maxLength + 1)
        password.resize(maxLength + 1);
    return true;
}

Prompt askPassword(const char *prompt, std::size_t maxLength, std::string &password)
{
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return Prompt::NoTerminal;
    termios mode;
    if (tcgetattr(fd, &mode) != 0) {
        ::close(fd);
        return Prompt::NoTerminal;
    }
    Prompt result = Prompt::Failed;
    {
        EchoOff quiet(fd, mode);
        if (quiet.ok() && writeAll(fd, prompt)) {
            password.clear();
            // Grown in place: no copy of the first characters is left behind.
            password.reserve(maxLength + 2);
            char c = 0;
            for (;;) {
                const ssize_t got = ::read(fd, &c, 1);
                if (got < 0 && errno == EINTR)
                    continue;
                if (got <= 0 || c == '\n')
                    break;
                // Room for a CR and one character more than can be used,
                // which is enough to refuse the line.
                if (password.size() < maxLength + 2)
                    password += c;
            }
            cipher::wipe(&c, 1);
            if (!password.empty() && password.back() == '\r')
                password.pop_back();
            if (password.size() > maxLength + 1)
                password.resize(maxLength + 1);
            result = Prompt::Answered;
        }
    }
    writeAll(fd, "\n"); // the Enter the user typed was not echoed
    ::close(fd);
    return result;
}

} // namespace vlq
