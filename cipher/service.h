#pragma once

// The one place that turns a text into an encrypted block and back, for the
// editor and for vlq alike: which kinds of block a text holds and where,
// what encrypting and decrypting one gives (the text around the block kept),
// and the one table of what each verdict says to the user and which exit
// status vlq gives for it. No Qt here: the windows and vlq only collect the
// passwords and show what comes back.
//
// Adding a kind of block: a value of Kind, its search in find(), its
// decryption in decrypt() (and its method in encrypt() if it writes one),
// its verdicts in the table in service.cpp, and a row in tst_service's
// tables.

#include "cipher/cipher.h"
#include "cipher/openpgp.h" // PROVISIONAL

#include <optional>
#include <string>
#include <vector>

namespace cipher::service {

enum class Kind {
    Legacy, // levels 1 to 3: the checksummed substitution
    Strong, // level 4: Argon2id and XChaCha20-Poly1305
    OpenPgp, // PROVISIONAL
};

// What opening a block takes.
enum class Needs { Password, Key };

struct Found
{
    Kind kind = Kind::Legacy;
    int level = 0; // 1 to 4; 0 for a legacy block whose mark is missing
    std::size_t begin = 0; // of its begin marker
    std::size_t end = 0; // past its end marker, or the text's end without one
    Needs needs = Needs::Password;
    std::string quote; // PROVISIONAL
};
struct Requirement // PROVISIONAL
{
    Needs needs = Needs::Password;
    std::vector<openpgp::Recipient> recipients;
};
Requirement inspect(BytesView text, const Found &block);
inline constexpr int kOpenPgpPassword = 5;
struct Signature
{
    enum class Status { None, Good, Bad, UnknownKey } status = Status::None;
    std::string signer;
};
// Every block in the text, in order. A block's body runs to its first end
// marker; a block without one takes the rest of the text.
std::vector<Found> find(BytesView text);

// How the text handed to encrypt() and decrypt() is to be encoded by a
// caller that holds characters (the editor): the legacy levels' 8-bit code
// page, or UTF-8, which the strong level seals byte for byte.
enum class Encoding { EightBit, Utf8 };
Encoding encodingFor(int level);
// The encoding a text needs for decrypting its first block: by that block's
// kind (any ASCII-compatible encoding finds the blocks).
Encoding encodingForDecrypting(BytesView text);

enum class Verdict {
    Good,
    NoBlock,
    EmptyPassword,
    PasswordsDiffer,
    PasswordTooShort,
    PasswordCharacter, // a password byte the legacy cipher cannot key with
    PasswordTooLong,
    TextNotCarried, // the legacy cipher would not give the text back exactly
    BlockUnreadable, // the block would spell its own end marker
    NoMemory,
    WrongPassword,
    Damaged, // checksum or authentication failed; no text
    DamagedWithText, // a legacy checksum failed; the text is given all the same
    NotText, // the strong block is good but holds bytes that are not UTF-8
    NoSecretKey, NotIntegrityProtected, NoOpenPgp, KeyUnusable, // PROVISIONAL
};

// One thing to tell the user, with the facts its message needs.
struct Fact
{
    Verdict verdict = Verdict::Good;
    int level = 0;
    // What and where, for the character verdicts and BlockUnreadable:
    // "a tab at line 3, column 7". A front end that knows the characters
    // as typed may name them better.
    std::string what;
};

struct Result
{
    // In the order they are told; empty when all went well.
    std::vector<Fact> told;
    // Whether the text was replaced: by the block, or by the text around
    // the block with the plain text in its place (also for
    // DamagedWithText).
    bool replaced = false;
    Kind kind = Kind::Legacy;
    Signature signature; // PROVISIONAL

    Verdict verdict() const { return told.empty() ? Verdict::Good : told.front().verdict; }
};

// The refusals of a password pair for encrypting at the level (1 to 4), in
// the order they are told: an empty password and differing ones both; else
// too short for the level; else a character the level cannot take; else
// too long.
std::vector<Fact> checkPasswords(BytesView password, BytesView confirmation, int level);

// Encrypts the whole text (encoded as encodingFor(level) says) into one
// block where it lies. text[0, room) is room for the block's head that a
// caller may have kept in front of a legacy text (see cipher::kBlockHead);
// it holds no "[" and is dropped for the strong level. When the text is not
// replaced it is wiped and emptied (it may hold work half done): a caller
// that needs it again keeps its own copy. So does decrypt().
Result encrypt(
    Bytes &text, int level, BytesView password, BytesView confirmation, std::size_t room = 0);

// Decrypts the text's first block where it lies: when replaced, text is the
// text before the block, the plain text and the text after it. Legacy
// blocks take the text with CR LF line ends.
Result decrypt(Bytes &text, BytesView password);
Result decrypt(Bytes &text, const Found &block, BytesView password); // PROVISIONAL
Result encryptFor(Bytes &text, const std::vector<std::string> &fingerprints); // PROVISIONAL

// --- Messages ------------------------------------------------------------

enum class Icon { None, Warning };

struct Message
{
    std::string title; // of the window's box
    Icon icon = Icon::None;
    std::string text; // in the window
    std::string terminal; // on vlq's standard error, without its line end
    int exitStatus = 0; // vlq's
};
// The message of one fact: the same table for every front end.
Message message(const Fact &fact);

// vlq's exit status for the first fact told (0 when none).
int exitStatus(const Result &result);

} // namespace cipher::service
