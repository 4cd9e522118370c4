#pragma once

// The few POSIX services vlq needs: whole-stream reads and writes, the
// password file, and a password prompt on the terminal without echo.

#include <string>
#include <string_view>

namespace vlq {

// Appends what the descriptor holds up to its end, or up to limit + 1 bytes in
// all when it holds more (out.size() > limit then tells). False on a read
// error (errno tells why).
bool readAll(int fd, std::string &out, std::size_t limit = std::string::npos - 1);
// The size of the regular file behind the descriptor; 0 for anything else (a
// pipe, a terminal), whose size is unknown.
std::size_t regularFileSize(int fd);
// Reserves room for `more` bytes after out's end, asking the kernel to back
// it with large pages: a text of megabytes otherwise costs a page fault every
// 4 KB, more than the cipher itself.
void reserveLarge(std::string &out, std::size_t more);
// Writes everything, retrying short writes; false on an error.
bool writeAll(int fd, std::string_view data);

// The first line of the file, without its line end (LF, CR LF or a last CR),
// cut to maxLength + 1 characters when it is longer: only a few bytes past
// maxLength are read, whatever the file holds. False when the file cannot be
// read; error then holds the reason. exposed is set when the file is a
// regular file that others than its owner may read (its mode, e.g. "0644"),
// else cleared.
bool readPasswordFile(const std::string &path, std::size_t maxLength, std::string &password,
    std::string &error, std::string &exposed);

// Overwrites the string's whole buffer (a short string's lies inside the
// object itself, so freeing would not reach it), then empties it.
void wipe(std::string &s);

// Wipes a string when it goes out of scope.
class Wiped
{
public:
    explicit Wiped(std::string &s)
        : m_s(s)
    { }
    ~Wiped() { wipe(m_s); }
    Wiped(const Wiped &) = delete;
    Wiped &operator=(const Wiped &) = delete;

private:
    std::string &m_s;
};

enum class Prompt {
    Answered,
    NoTerminal, // no controlling terminal to ask on
    Failed, // the terminal failed mid-way
};
// Shows prompt on the controlling terminal and reads one line with echo off,
// keeping at most maxLength + 1 characters of it; the terminal is restored
// afterwards, also when a signal ends the program.
Prompt askPassword(const char *prompt, std::size_t maxLength, std::string &password);

} // namespace vlq
