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
// tables. OpenPGP is GnuPG's (openpgp.h); only finding the armor in a text
// is ours (armor.h).

#include "cipher/cipher.h"
#include "cipher/openpgp.h"

#include <optional>
#include <string>
#include <vector>

namespace cipher::service {

enum class Kind {
    Legacy, // levels 1 to 3: the checksummed substitution
    Strong, // level 4: Argon2id and XChaCha20-Poly1305
    OpenPgp, // an armored OpenPGP message, read and written by GnuPG
};

// What opening a block takes.
enum class Needs { Password, Key };

// The encrypt method beside levels 1 to 4: an armored OpenPGP message for
// a password, readable by gpg -d and any OpenPGP program. It takes any
// password that is not empty, up to kOpenPgpMaxPassword bytes, without a
// line break or a zero byte (GnuPG reads it as one line).
inline constexpr int kOpenPgpPassword = 5;
inline constexpr std::size_t kOpenPgpMaxPassword = 255;

struct Found
{
    Kind kind = Kind::Legacy;
    int level = 0; // 1 to 4; 0 for a legacy block whose mark is missing, and OpenPGP
    std::size_t begin = 0; // of its begin marker
    std::size_t end = 0; // past its end marker, or the text's end without one
    Needs needs = Needs::Password; // OpenPGP: inspect() tells
    // The prefix every line of an OpenPGP block carries in a quoted mail:
    // "> ", "> > ", ">"; empty when none (and for our own blocks).
    std::string quote;
};
// Every block in the text, in order: ours, and OpenPGP messages anywhere,
// also quoted. A block's body runs to its first end marker; a block without
// one takes the rest of the text (a quoted OpenPGP block: its quoted
// lines). A block that starts inside an earlier one is not one. Cheap: no
// GnuPG is started.
std::vector<Found> find(BytesView text);

// How the text handed to encrypt() and decrypt() is to be encoded by a
// caller that holds characters (the editor): the legacy levels' 8-bit code
// page, or UTF-8, which the strong level seals byte for byte.
enum class Encoding { EightBit, Utf8 };
Encoding encodingFor(int level);
// The encoding a text needs for decrypting its first block: by that block's
// kind (any ASCII-compatible encoding finds the blocks).
Encoding encodingForDecrypting(BytesView text);
// The same for one block of it. OpenPGP blocks give bytes, mostly UTF-8.
Encoding encodingForDecrypting(BytesView text, const Found &block);

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
    // OpenPGP:
    NoSecretKey, // what: the key IDs the message is encrypted to
    NotIntegrityProtected, // no modification detection: refused
    NoOpenPgp, // GnuPG is missing or its agent does not start; what: why
    KeyUnusable, // a recipient key that cannot encrypt; what: the key and why
    Canceled, // the user closed GnuPG's pinentry
    BadSignature, // decrypted, but the signature does not match; the text is given
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

// What opening a block takes, found out without asking anybody anything.
// For an OpenPGP block this starts GnuPG (and maybe its agent: a second or
// two the first time), so the editor runs it off the window's thread.
struct Requirement
{
    Needs needs = Needs::Password;
    // Those an OpenPGP block is encrypted to, whether or not the user holds
    // a secret key for them. Needs::Key with none: a message that is only
    // signed, which opens without asking anything.
    std::vector<openpgp::Recipient> recipients;
    // Verdict::Good, or what keeps it from being told (NoOpenPgp, Damaged).
    Fact problem;
};
Requirement inspect(BytesView text, const Found &block);

// The signature of a signed OpenPGP message.
struct Signature
{
    enum class Status { None, Good, Bad, UnknownKey } status = Status::None;
    std::string signer; // "Name <address>", else the key ID
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
    Signature signature {};

    Verdict verdict() const { return told.empty() ? Verdict::Good : told.front().verdict; }
};

// The refusals of a password pair for encrypting at the level (1 to 4, or
// kOpenPgpPassword), in
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
// At kOpenPgpPassword the room is dropped, as at the strong level.
Result encrypt(
    Bytes &text, int level, BytesView password, BytesView confirmation, std::size_t room = 0);

// Encrypts the whole text to the keys (fingerprints, as listKeys() gives
// them) into one armored OpenPGP message. The user chose each key, so the
// web of trust is not asked again; a key that cannot encrypt is refused
// (KeyUnusable).
Result encryptFor(Bytes &text, const std::vector<std::string> &fingerprints);

// Decrypts the text's first block where it lies: when replaced, text is the
// text before the block, the plain text and the text after it. Legacy
// blocks take the text with CR LF line ends.
Result decrypt(Bytes &text, BytesView password);

// Decrypts that block (one of find(text)) where it lies, whichever it is:
// text becomes the text before it, the plain text and the text after it.
// An OpenPGP block for a password takes the password through loopback
// pinentry (never cached by GnuPG's agent); one for a key ignores the
// password, and GnuPG's own pinentry asks for the key's passphrase. A
// signed message's signature is checked (Result::signature; a bad one is
// also told, with the text given). Blocks other than OpenPGP take the text
// as decrypt(text, password) does.
Result decrypt(Bytes &text, const Found &block, BytesView password);

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
