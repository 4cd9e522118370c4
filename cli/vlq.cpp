// vlq: the editor's encrypt and decrypt commands for scripts and for people
// without a display.

#include "cipher/cipher.h"
#include "cipher/refusals.h"
#include "cli/terminal.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <getopt.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

enum Exit {
    Good = 0,
    Refused = 1, // usage, I/O error or refused input; nothing on stdout
    NoBlock = 2,
    IncorrectPassword = 3,
    ChecksumError = 4,
};

// The editor's own words.
constexpr const char *kNoSignature = "Unable to find encryption signature.";
constexpr const char *kIncorrectPassword = "Incorrect password.";
constexpr const char *kChecksumError = "Check sum error:\nData may be corrupt or contain errors.";

constexpr const char *kUsage = "Usage: vlq encrypt --level N [--password-file FILE]\n"
                               "       vlq decrypt [--password-file FILE] [--crlf]\n"
                               "       vlq --help\n";

constexpr const char *kHelp =
    "Usage: vlq encrypt --level N [--password-file FILE]\n"
    "       vlq decrypt [--password-file FILE] [--crlf]\n"
    "       vlq --help\n"
    "\n"
    "Turns a text into a password-protected block of printable text, and back,\n"
    "exactly as the editor's Encrypt and Decrypt commands do.\n"
    "\n"
    "encrypt  Reads the plain text on standard input and writes the encrypted\n"
    "         block to standard output: n + 77 bytes for a text of n bytes,\n"
    "         nothing after the end marker.\n"
    "  --level N           1 (low), 2 (medium) or 3 (high); required. Level 2\n"
    "                      needs a password of at least 5 characters, level 3\n"
    "                      at least 8.\n"
    "\n"
    "decrypt  Reads a text on standard input, finds the encrypted block in it and\n"
    "         writes the text before the block, the plain text and the text\n"
    "         after the block to standard output.\n"
    "  --crlf              write line ends as CR LF (the default is LF).\n"
    "\n"
    "Both:\n"
    "  --password-file FILE  the password is the first line of FILE, without\n"
    "                      its line end. Without this option the password is\n"
    "                      asked on the terminal without echo (twice for\n"
    "                      encrypt; the two must match). It is never taken from\n"
    "                      the command line.\n"
    "  --help              show this text.\n"
    "\n"
    "Line ends: on input a line feed not preceded by a carriage return counts as\n"
    "CR LF, the editor's own form. decrypt writes each CR LF as LF unless --crlf\n"
    "is given. Every other byte passes unchanged.\n"
    "\n"
    "encrypt refuses, before writing anything: an empty password, passwords that\n"
    "do not match, a level 2 password under 5 characters or a level 3 one under\n"
    "8, a password character outside 32 to 126 or a password over 245\n"
    "characters, and a text the cipher cannot carry exactly (a tab, a carriage\n"
    "return or line feed that is not part of a line break, another control\n"
    "character, a byte from 128 to 255, the pair \"P^\", or a text too long\n"
    "for the block's checksum, or, rarely, a text whose encrypted form would\n"
    "spell the end marker with this password); the message says what and where.\n"
    "decrypt refuses an empty password.\n"
    "\n"
    "Messages go to standard error.\n"
    "\n"
    "Exit status:\n"
    "  0  good\n"
    "  1  usage error, I/O error or refused input (nothing on standard output)\n"
    "  2  no encrypted block in the text: \"Unable to find encryption signature.\"\n"
    "     (nothing on standard output)\n"
    "  3  \"Incorrect password.\" (the deciphered text is written all the same)\n"
    "  4  \"Check sum error: Data may be corrupt or contain errors.\" (the\n"
    "     deciphered text is written all the same)\n";

void say(const std::string &message)
{
    vlq::writeAll(STDERR_FILENO, message + "\n");
}

int usageError(const std::string &problem)
{
    say("vlq: " + problem);
    vlq::writeAll(STDERR_FILENO, kUsage);
    say("Try 'vlq --help' for more.");
    return Refused;
}

// Input: a line feed not preceded by a carriage return counts as CR LF.
std::string withCrLf(const std::string &text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

// Output: each CR LF becomes LF.
std::string withLf(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            out += text[i];
    }
    return out;
}

struct Options
{
    std::string command;
    int level = 0;
    bool crlf = false;
    bool help = false;
    bool hasPasswordFile = false;
    std::string passwordFile;
};

// Returns Good when the options make sense, otherwise the exit status.
int parse(int argc, char **argv, Options &options)
{
    if (argc < 2)
        return usageError("no command given");
    options.command = argv[1];
    if (options.command == "--help" || options.command == "-h") {
        options.help = true;
        return argc == 2 ? Good : usageError("--help takes nothing else");
    }
    if (options.command != "encrypt" && options.command != "decrypt")
        return usageError("unknown command '" + options.command + "'");

    static const option longOptions[] = {
        {"level", required_argument, nullptr, 'l'},
        {"password-file", required_argument, nullptr, 'p'},
        {"crlf", no_argument, nullptr, 'c'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    bool levelGiven = false;
    opterr = 0;
    optind = 1; // argv + 1 starts with the command, which getopt skips
    for (;;) {
        const int option = getopt_long(argc - 1, argv + 1, "+:", longOptions, nullptr);
        if (option == -1)
            break;
        switch (option) {
        case 'l': {
            const std::string value = optarg;
            if (value != "1" && value != "2" && value != "3")
                return usageError("--level must be 1, 2 or 3, not '" + value + "'");
            options.level = value[0] - '0';
            levelGiven = true;
            break;
        }
        case 'p':
            options.hasPasswordFile = true;
            options.passwordFile = optarg;
            break;
        case 'c':
            options.crlf = true;
            break;
        case 'h':
            options.help = true;
            break;
        case ':':
            return usageError(std::string(argv[optind]) + " needs a value");
        default: {
            // optopt names an unknown short option, or one of ours misused
            // (--crlf=x); otherwise it is the argument getopt just passed.
            if (optopt && !std::strchr("lpch", optopt))
                return usageError(
                    std::string("unknown option '-") + static_cast<char>(optopt) + "'");
            const std::string bad = argv[optind];
            return usageError((optopt ? "misused option '" : "unknown option '") + bad + "'");
        }
        }
    }
    if (optind < argc - 1)
        return usageError("unexpected argument '" + std::string(argv[optind + 1])
            + "' (the text comes on standard input)");
    if (options.help)
        return Good;
    if (options.command == "encrypt") {
        if (!levelGiven)
            return usageError("encrypt needs --level 1, 2 or 3");
        if (options.crlf)
            return usageError("--crlf is for decrypt");
    } else if (levelGiven) {
        return usageError("--level is for encrypt; the block carries its level");
    }
    return Good;
}

// Fills password from the file or the terminal (asking twice when confirm is
// set); returns Good or the exit status.
int obtainPassword(
    const Options &options, bool confirm, std::string &password, std::string &confirmation)
{
    if (options.hasPasswordFile) {
        std::string error;
        if (!vlq::readPasswordFile(options.passwordFile, password, error)) {
            say("vlq: cannot read the password file " + options.passwordFile + ": " + error);
            return Refused;
        }
        confirmation = password;
        return Good;
    }
    vlq::Prompt asked = vlq::askPassword("Enter Password: ", password);
    if (asked == vlq::Prompt::Answered && confirm)
        asked = vlq::askPassword("Confirm Password: ", confirmation);
    switch (asked) {
    case vlq::Prompt::Answered:
        return Good;
    case vlq::Prompt::NoTerminal:
        return usageError("no terminal to ask for the password on; use --password-file FILE");
    case vlq::Prompt::Failed:
        say("vlq: could not read the password from the terminal");
        return Refused;
    }
    return Refused;
}

int readInput(std::string &text)
{
    std::string raw;
    if (!vlq::readAll(STDIN_FILENO, raw)) {
        say(std::string("vlq: cannot read standard input: ") + std::strerror(errno));
        return Refused;
    }
    text = withCrLf(raw);
    return Good;
}

int writeOutput(const std::string &data)
{
    if (!vlq::writeAll(STDOUT_FILENO, data)) {
        say(std::string("vlq: cannot write standard output: ") + std::strerror(errno));
        return Refused;
    }
    return Good;
}

int encrypt(const Options &options)
{
    std::string password;
    std::string confirmation;
    if (const int status = obtainPassword(options, true, password, confirmation))
        return status;

    // The encrypt dialog's refusals, in its order.
    const std::vector<cipher::PasswordRefusal> refusals =
        cipher::checkPasswords(password, confirmation, options.level);
    for (const cipher::PasswordRefusal &refusal : refusals) {
        switch (refusal.kind) {
        case cipher::PasswordRefusal::Kind::Character:
            say("vlq: cannot use this password: " + refusal.issue->describe() + ".");
            break;
        case cipher::PasswordRefusal::Kind::TooLong:
            // The editor takes no longer password, so it could never open the block.
            say("vlq: cannot use this password: it is longer than "
                + std::to_string(cipher::kMaxPasswordLength) + " characters.");
            break;
        default:
            say(refusal.text());
        }
    }
    if (!refusals.empty())
        return Refused;

    std::string text;
    if (const int status = readInput(text))
        return status;
    if (const auto issue = cipher::checkPlainText(text)) {
        say("vlq: cannot encrypt this text exactly: " + issue->describe() + ".");
        return Refused;
    }
    cipher::foldBlockBodies(text);
    const std::string block = cipher::encryptText(text, password, options.level);
    if (const auto issue = cipher::checkBlock(block)) {
        say("vlq: cannot encrypt this text exactly: " + issue->describe() + ".");
        return Refused;
    }
    return writeOutput(block);
}

int decrypt(const Options &options)
{
    std::string password;
    std::string unused;
    if (const int status = obtainPassword(options, false, password, unused))
        return status;
    if (password.empty()) {
        say(cipher::PasswordRefusal {cipher::PasswordRefusal::Kind::Empty, 1, {}}.text());
        return Refused;
    }

    std::string text;
    if (const int status = readInput(text))
        return status;
    const cipher::Decryption result = cipher::decryptText(text, password);
    if (!result.found) {
        say(kNoSignature);
        return NoBlock;
    }
    if (const int status = writeOutput(options.crlf ? result.text : withLf(result.text)))
        return status;
    switch (result.verdict) {
    case cipher::Verdict::Good:
        return Good;
    case cipher::Verdict::WrongPassword:
        say(kIncorrectPassword);
        return IncorrectPassword;
    case cipher::Verdict::ChecksumError:
        say(kChecksumError);
        return ChecksumError;
    }
    return Good;
}

} // namespace

int main(int argc, char **argv)
{
    // A closed pipe is an error to report, not a reason to die silently.
    std::signal(SIGPIPE, SIG_IGN);

    Options options;
    if (const int status = parse(argc, argv, options))
        return status;
    if (options.help)
        return writeOutput(kHelp);
    return options.command == "encrypt" ? encrypt(options) : decrypt(options);
}
