// vlq: the editor's encrypt and decrypt commands for scripts and for people
// without a display.

#include "cipher/cipher.h"
#include "cipher/hardening.h"
#include "cipher/openpgp.h"
#include "cipher/service.h"
#include "cipher/strong.h"
#include "cli/terminal.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <getopt.h>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

enum Exit {
    Good = 0,
    Refused = 1, // usage, I/O error or refused input; nothing on stdout
    // The others (no block, wrong password, damage) come with their
    // messages from the service's table.
};

namespace service = cipher::service;

constexpr const char *kUsage = "Usage: vlq encrypt --level N [--password-file FILE]\n"
                               "       vlq encrypt --openpgp [--password-file FILE]\n"
                               "       vlq encrypt --recipient KEY [--recipient KEY]...\n"
                               "       vlq decrypt [--password-file FILE] [--crlf]\n"
                               "       vlq --help\n";

constexpr const char *kHelp =
    "Usage: vlq encrypt --level N [--password-file FILE]\n"
    "       vlq encrypt --openpgp [--password-file FILE]\n"
    "       vlq encrypt --recipient KEY [--recipient KEY]...\n"
    "       vlq decrypt [--password-file FILE] [--crlf]\n"
    "       vlq --help\n"
    "\n"
    "Turns a text into a password-protected block of printable text, and back,\n"
    "exactly as the editor's Encrypt and Decrypt commands do; reads and writes\n"
    "OpenPGP messages (as gpg -c -a and gpg -e -a write them) through your own\n"
    "GnuPG too.\n"
    "\n"
    "encrypt  Reads the plain text on standard input and writes the encrypted\n"
    "         block to standard output, nothing after the end marker:\n"
    "         n + 77 bytes for a text of n bytes at levels 1 to 3; at level 4\n"
    "         base64 in lines of 76, about 1.37 n + 190 bytes (190 for an empty\n"
    "         text).\n"
    "  --level N           1 (low), 2 (medium), 3 (high) or 4 (strong); required.\n"
    "                      Level 2 needs a password of at least 5 characters,\n"
    "                      level 3 at least 8, level 4 at least 12.\n"
    "                      Levels 1 to 3 are for exchanging with older copies\n"
    "                      and do not resist a determined attacker. Level 4 is\n"
    "                      for secrecy: Argon2id and XChaCha20-Poly1305 in a\n"
    "                      base64 block; it takes any bytes exactly as they\n"
    "                      are, and a damaged block gives no text at all.\n"
    "  --openpgp           instead of --level: an armored OpenPGP message for\n"
    "                      the password, which gpg -d and any OpenPGP program\n"
    "                      read. Any password that is not empty, up to 255\n"
    "                      bytes; the text is taken byte for byte.\n"
    "  --recipient KEY     instead of --level: an armored OpenPGP message to the\n"
    "                      key; repeat it for more keys. KEY is what gpg takes: a\n"
    "                      fingerprint, a key ID, an address or a name. It must\n"
    "                      match one key of your keyring that can encrypt; one\n"
    "                      named by anything but its fingerprint must also be\n"
    "                      valid (certified) in your keyring. No password is\n"
    "                      asked. Keyservers are never asked.\n"
    "\n"
    "decrypt  Reads a text on standard input, finds the encrypted block in it and\n"
    "         writes the text before the block, the plain text and the text\n"
    "         after the block to standard output. The first block counts: one of\n"
    "         ours or an OpenPGP message, also one quoted in a mail (\"> \" on\n"
    "         every line). An OpenPGP message for a password takes the password\n"
    "         as ours do (GnuPG's agent keeps nothing of it); one for keys needs\n"
    "         no password here: GnuPG's own pinentry asks for your key's\n"
    "         passphrase if it has one. A signed message's signature is checked\n"
    "         and told on standard error. A message without integrity protection\n"
    "         is refused: it could have been changed on the way.\n"
    "  --crlf              levels 1 to 3: write line ends as CR LF (the default\n"
    "                      is LF). Level 4 ignores it.\n"
    "\n"
    "Both:\n"
    "  --password-file FILE  the password is the first line of FILE, without\n"
    "                      its line end; only that line is read, and one over\n"
    "                      245 characters is refused at levels 1 to 3, one over\n"
    "                      4096 bytes at level 4. Without this option the\n"
    "                      password is asked on the terminal without echo\n"
    "                      (twice for encrypt; the two must match). It is never\n"
    "                      taken from the command line. A password file\n"
    "                      group or others may read is used with a warning.\n"
    "  --help              show this text.\n"
    "\n"
    "Line ends, levels 1 to 3: on input a line feed not preceded by a carriage\n"
    "return counts as CR LF, the editor's own form. decrypt writes each CR LF as\n"
    "LF unless --crlf is given. Every other byte passes unchanged.\n"
    "Level 4 is byte-exact: encrypt seals the input bytes as they are (every\n"
    "value 0 to 255, any line end, text or not) and decrypt writes exactly them,\n"
    "with the text before and after the block as it came in.\n"
    "\n"
    "encrypt refuses, before writing anything: an empty password, passwords that\n"
    "do not match, a level 2 password under 5 characters, a level 3 one under 8\n"
    "or a level 4 one under 12, a password character outside 32 to 126, a\n"
    "password over 245 characters at levels 1 to 3 or over 4096 at level 4,\n"
    "and, at levels 1 to 3 only, a text the cipher cannot carry exactly (a tab,\n"
    "a carriage return or line feed that is not part of a line break, another\n"
    "control character, a byte from 128 to 255, the pair \"P^\", or a text too\n"
    "long for the block's checksum, or, rarely, a text whose encrypted form\n"
    "would spell the end marker with this password); the message says what and\n"
    "where. No text over 86,956,520 bytes fits the checksum at those levels:\n"
    "encrypt stops reading there and says so.\n"
    "decrypt takes any password bytes for a level 4 block, up to 4096; for the\n"
    "other levels it refuses one over 245 characters. It refuses an empty\n"
    "password when the text holds a block (without one it says there is none),\n"
    "but a damaged level 4 block is told as damage first.\n"
    "\n"
    "Messages go to standard error. A text too large for the memory at hand is\n"
    "refused with a message, never half written.\n"
    "\n"
    "Exit status:\n"
    "  0  good\n"
    "  1  usage error, I/O error or refused input (nothing on standard output)\n"
    "  2  no encrypted block in the text: \"Unable to find encryption signature.\"\n"
    "     (nothing on standard output)\n"
    "  3  \"Incorrect password.\" (nothing on standard output: the input is still\n"
    "     the only good copy; try again)\n"
    "  4  \"Check sum error: Data may be corrupt or contain errors.\" (at levels\n"
    "     1 to 3 the deciphered text is written all the same; it is usually\n"
    "     mostly right. A level 4 block writes nothing, and is known by its\n"
    "     content even when its mark \"4\" was damaged or another level's mark\n"
    "     stands in its place or before it). OpenPGP: a damaged or changed\n"
    "     message, one without integrity protection, or a BAD signature (the\n"
    "     text is written then, with the warning)\n"
    "  5  no secret key: the OpenPGP message is for keys whose secret key you do\n"
    "     not hold; the message names them (nothing on standard output)\n"
    "A missing GnuPG, an OpenPGP password that cannot be one, or a key that\n"
    "cannot encrypt exits with 1.\n";

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
// Appends chunk[0, n) so, where `last` is the byte read before it; runs
// without a lone LF go in one piece.
void appendWithCrLf(std::string &text, const char *chunk, std::size_t n, char last)
{
    const char *const end = chunk + n;
    const char *pending = chunk;
    const char *scan = chunk;
    while (const auto *feed = static_cast<const char *>(std::memchr(scan, '\n', end - scan))) {
        if ((feed > chunk ? feed[-1] : last) != '\r') {
            text.append(pending, static_cast<std::size_t>(feed - pending));
            text += '\r';
            pending = feed; // the LF opens the next piece
        }
        scan = feed + 1;
    }
    text.append(pending, static_cast<std::size_t>(end - pending));
}

// The same for a text read whole, in place: from the back, so each byte
// moves once and a long text is not held twice.
void toCrLf(std::string &text)
{
    std::size_t lone = 0;
    for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; ++at)
        lone += at == 0 || text[at - 1] != '\r';
    if (lone == 0)
        return;
    std::size_t from = text.size();
    std::size_t to = from + lone;
    text.resize(to);
    char *const data = text.data();
    while (lone > 0) {
        const std::size_t at =
            static_cast<std::size_t>(static_cast<const char *>(memrchr(data, '\n', from)) - data);
        to -= from - at;
        std::memmove(data + to, data + at, from - at);
        from = at;
        if (at == 0 || data[at - 1] != '\r') {
            data[--to] = '\r';
            --lone;
        }
    }
}

// Output: each CR LF becomes LF, in place.
void toLf(std::string &text)
{
    char *const data = text.data();
    const std::size_t n = text.size();
    std::size_t to = 0;
    std::size_t from = 0;
    while (from < n) {
        const auto *cr = static_cast<const char *>(std::memchr(data + from, '\r', n - from));
        const std::size_t at = cr ? static_cast<std::size_t>(cr - data) : n;
        std::memmove(data + to, data + from, at - from);
        to += at - from;
        from = at;
        if (at < n) {
            if (at + 1 >= n || data[at + 1] != '\n')
                data[to++] = '\r';
            ++from;
        }
    }
    text.resize(to);
}

struct Options
{
    std::string command;
    int level = 0; // or service::kOpenPgpPassword
    std::vector<std::string> recipients;
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
        {"openpgp", no_argument, nullptr, 'o'},
        {"recipient", required_argument, nullptr, 'r'},
        {"password-file", required_argument, nullptr, 'p'},
        {"crlf", no_argument, nullptr, 'c'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    bool levelGiven = false;
    bool openPgp = false;
    opterr = 0;
    optind = 1; // argv + 1 starts with the command, which getopt skips
    for (;;) {
        const int option = getopt_long(argc - 1, argv + 1, "+:", longOptions, nullptr);
        if (option == -1)
            break;
        switch (option) {
        case 'l': {
            const std::string value = optarg;
            if (value != "1" && value != "2" && value != "3" && value != "4")
                return usageError("--level must be 1, 2, 3 or 4, not '" + value + "'");
            options.level = value[0] - '0';
            levelGiven = true;
            break;
        }
        case 'o':
            openPgp = true;
            break;
        case 'r':
            options.recipients.push_back(optarg);
            break;
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
            if (optopt && !std::strchr("lorpch", optopt))
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
    if (openPgp)
        options.level = service::kOpenPgpPassword;
    if (options.command == "encrypt") {
        if (int(levelGiven) + int(openPgp) + int(!options.recipients.empty()) > 1)
            return usageError("--level, --openpgp and --recipient do not go together");
        if (!levelGiven && !openPgp && options.recipients.empty())
            return usageError("encrypt needs --level 1, 2, 3 or 4, --openpgp or --recipient KEY");
        if (options.crlf)
            return usageError("--crlf is for decrypt");
        if (!options.recipients.empty() && options.hasPasswordFile)
            return usageError("--recipient takes no password");
    } else if (levelGiven) {
        return usageError("--level is for encrypt; the block carries its level");
    } else if (openPgp || !options.recipients.empty()) {
        return usageError(std::string(openPgp ? "--openpgp" : "--recipient")
            + " is for encrypt; the block says what it needs");
    }
    return Good;
}

// Fills password from the file or the terminal (asking twice when confirm is
// set); returns Good or the exit status. A line longer than any level takes
// comes back longer than the strong level's bound, and is never read whole.
int obtainPassword(
    const Options &options, bool confirm, std::string &password, std::string &confirmation)
{
    if (options.hasPasswordFile) {
        std::string error;
        std::string exposed;
        if (!vlq::readPasswordFile(options.passwordFile, cipher::strong::kMaxPasswordBytes,
                password, error, exposed)) {
            say("vlq: cannot read the password file " + options.passwordFile + ": " + error);
            return Refused;
        }
        // As ssh does for a key, but the run goes on: the harm is done already.
        if (!exposed.empty())
            say("vlq: warning: the password file " + options.passwordFile
                + " can be read by other users (mode " + exposed
                + "); make it private with: chmod 600 " + options.passwordFile);
        confirmation = password;
        return Good;
    }
    vlq::Prompt asked =
        vlq::askPassword("Enter Password: ", cipher::strong::kMaxPasswordBytes, password);
    if (asked == vlq::Prompt::Answered && confirm)
        asked =
            vlq::askPassword("Confirm Password: ", cipher::strong::kMaxPasswordBytes, confirmation);
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

// Reads standard input into text, with line ends made CR LF as they come
// when crlf is set (so a long text is copied once), else byte for byte;
// returns Good, the exit status of a read error, or TooMuch when the input
// goes on past limit bytes (the rest is not read). Room is kept for `spare`
// bytes more, which the caller adds.
constexpr int TooMuch = -1;
int readInput(std::string &text, std::size_t limit, std::size_t spare, bool crlf)
{
    // A regular file's size is known: its text (with a line end in four
    // bytes made CR LF) fits at once. A pipe's text grows as it comes.
    if (const std::size_t size = std::min(vlq::regularFileSize(STDIN_FILENO), limit + 1))
        vlq::reserveLarge(text, size + size / 4 + spare);
    // The chunk passes the text through the stack: wiped on every way out.
    struct Chunk
    {
        char bytes[1 << 16];
        ~Chunk() { cipher::wipe(bytes, sizeof bytes); }
    } buffer;
    char *const chunk = buffer.bytes;
    constexpr std::size_t kChunkSize = sizeof buffer.bytes;
    std::size_t total = 0;
    char last = 0;
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, chunk, std::min(kChunkSize, limit + 1 - total));
        if (got == 0)
            return Good;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            say(std::string("vlq: cannot read standard input: ") + std::strerror(errno));
            return Refused;
        }
        total += static_cast<std::size_t>(got);
        if (total > limit)
            return TooMuch;
        if (crlf)
            appendWithCrLf(text, chunk, static_cast<std::size_t>(got), last);
        else
            text.append(chunk, static_cast<std::size_t>(got));
        last = chunk[got - 1];
    }
}

int writeOutput(std::string_view data)
{
    if (!vlq::writeAll(STDOUT_FILENO, data)) {
        say(std::string("vlq: cannot write standard output: ") + std::strerror(errno));
        return Refused;
    }
    return Good;
}

// The program's message for what the service told, and vlq's exit status.
int tell(const service::Result &result)
{
    for (const service::Fact &fact : result.told)
        say(service::message(fact).terminal);
    return service::exitStatus(result);
}

// The fingerprint of the one key KEY names that can encrypt, or the fact
// that says why there is none.
std::optional<service::Fact> resolve(const std::string &pattern, std::string &fingerprint)
{
    const auto refused = [&](const std::string &why) {
        return service::Fact {service::Verdict::KeyUnusable, service::kOpenPgpPassword,
            "'" + pattern + "': " + why};
    };
    std::vector<cipher::openpgp::Key> usable;
    std::string whyNot;
    for (const cipher::openpgp::Key &key : cipher::openpgp::findKeys(pattern)) {
        if (key.canEncrypt)
            usable.push_back(key);
        else if (whyNot.empty())
            whyNot = "the key " + key.keyId + " cannot encrypt (" + key.whyNot + ")";
    }
    if (usable.empty())
        return refused(whyNot.empty() ? "no key in your keyring matches it" : whyNot);
    if (usable.size() > 1)
        return refused("it matches " + std::to_string(usable.size())
            + " keys; name one by its fingerprint");
    const cipher::openpgp::Key &key = usable.front();
    // A name or an address anyone could have put on a key: only a key the
    // keyring holds valid is taken by it.
    std::string upper = pattern;
    for (char &c : upper)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    if (upper.starts_with("0X"))
        upper.erase(0, 2);
    if (upper != key.fingerprint && key.validity != "ultimate" && key.validity != "full")
        return refused("the key " + key.keyId + " is not valid in your keyring (validity "
            + key.validity + "); name it by its fingerprint to use it all the same");
    fingerprint = key.fingerprint;
    return std::nullopt;
}

int encryptForRecipients(const Options &options)
{
    if (std::string why; !cipher::openpgp::available(&why))
        return tell({{{service::Verdict::NoOpenPgp, service::kOpenPgpPassword, why}}});
    std::vector<std::string> fingerprints;
    for (const std::string &pattern : options.recipients) {
        std::string fingerprint;
        if (const auto refused = resolve(pattern, fingerprint))
            return tell({{*refused}});
        fingerprints.push_back(fingerprint);
    }
    std::string text;
    vlq::Wiped wipedText(text);
    if (const int status = readInput(text, std::string::npos - 1, 0, false))
        return status;
    const service::Result result = service::encryptFor(text, fingerprints);
    if (!result.replaced)
        return tell(result);
    return writeOutput(text);
}

int encrypt(const Options &options)
{
    if (!options.recipients.empty())
        return encryptForRecipients(options);
    std::string password;
    std::string confirmation;
    vlq::Wiped wipedPassword(password);
    vlq::Wiped wipedConfirmation(confirmation);
    if (const int status = obtainPassword(options, true, password, confirmation))
        return status;

    // The encrypt dialog's refusals, in its order, before any text is read.
    if (const int status = tell({service::checkPasswords(password, confirmation, options.level)}))
        return status;
    std::string text;
    vlq::Wiped wipedText(text);
    std::size_t room = 0;
    if (options.level == cipher::strong::kLevel || options.level == service::kOpenPgpPassword) {
        // Level 4 and OpenPGP take every text byte for byte: no line-end
        // change, no domain check, no checksum limit.
        if (const int status = readInput(text, std::string::npos - 1, 0, false))
            return status;
    } else {
        // No longer text fits the block's checksum, so reading stops there.
        // The text comes after room for the block's head and becomes its
        // block where it lies.
        room = cipher::kBlockHead;
        text.assign(room, '0');
        const int status =
            readInput(text, cipher::kMaxPlainTextLength, cipher::kBlockOverhead, true);
        if (status == TooMuch) {
            return tell({{{service::Verdict::TextNotCarried, options.level,
                cipher::DomainIssue {cipher::DomainIssue::Kind::ChecksumTooLarge}.describe()}}});
        }
        if (status)
            return status;
    }
    const service::Result result =
        service::encrypt(text, options.level, password, confirmation, room);
    if (!result.replaced)
        return tell(result);
    return writeOutput(text);
}

// A signed OpenPGP message's signature, on standard error (a bad one is
// told with the verdicts).
void tellSignature(const service::Signature &signature)
{
    using Status = service::Signature::Status;
    if (signature.status == Status::Good)
        say("vlq: good signature by " + signature.signer);
    else if (signature.status == Status::UnknownKey)
        say("vlq: signed with the key " + signature.signer
            + ", which is not in your keyring: the signature could not be checked");
}

int decrypt(const Options &options)
{
    std::string password;
    std::string unused;
    vlq::Wiped wipedPassword(password);
    // Asked before the text is read, as always, when the text may come from
    // the same terminal; otherwise after, so a message for keys asks none.
    const bool passwordFirst = options.hasPasswordFile || ::isatty(STDIN_FILENO);
    if (passwordFirst) {
        if (const int status = obtainPassword(options, false, password, unused))
            return status;
    }

    // The input is read as it is, since a level 4 block gives back exactly
    // what was sealed and the text around it as it came.
    std::string text;
    vlq::Wiped wipedText(text);
    if (const int status = readInput(text, std::string::npos - 1, 0, false))
        return status;
    if (!passwordFirst) {
        const std::vector<service::Found> blocks = service::find(text);
        const bool forKeys = !blocks.empty() && blocks.front().kind == service::Kind::OpenPgp
            && service::inspect(text, blocks.front()).needs == service::Needs::Key;
        if (!forKeys) {
            if (const int status = obtainPassword(options, false, password, unused))
                return status;
        }
    }
    const bool legacy = service::encodingForDecrypting(text) == service::Encoding::EightBit;
    if (legacy)
        toCrLf(text);
    // The text deciphered with a wrong key is noise, and a damaged level 4
    // block gives nothing: the input stays the only copy worth keeping, so
    // nothing is written.
    const service::Result result = service::decrypt(text, password);
    if (!result.replaced)
        return tell(result);
    if (legacy && !options.crlf)
        toLf(text);
    if (const int status = writeOutput(text))
        return status;
    tellSignature(result.signature);
    // A legacy block's checksum error gives its text all the same.
    return tell(result);
}

int run(int argc, char **argv)
{
    Options options;
    if (const int status = parse(argc, argv, options))
        return status;
    if (options.help)
        return writeOutput(kHelp);
    return options.command == "encrypt" ? encrypt(options) : decrypt(options);
}

} // namespace

int main(int argc, char **argv)
{
    cipher::hardenProcess("vlq");
    // A closed pipe is an error to report, not a reason to die silently.
    std::signal(SIGPIPE, SIG_IGN);

    // Reads stop where nothing more could be used, but a text can still be
    // larger than the memory at hand. Nothing has been written then.
    try {
        const int status = run(argc, argv);
        cipher::wipeStack();
        return status;
    } catch (const std::bad_alloc &) {
        say("vlq: not enough memory for this text.");
    } catch (const std::length_error &) {
        say("vlq: not enough memory for this text.");
    }
    cipher::wipeStack();
    return Refused;
}
