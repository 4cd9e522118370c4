#pragma once

// The text cipher: the encrypted block format and the transform under it.
// Plain functions on 8-bit strings held with their lengths; a zero byte is an
// ordinary character and never ends a text. No Qt here.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cipher {

using Bytes = std::string;
using BytesView = std::string_view;

inline constexpr std::string_view kBeginMarker = "[Encrypted_By_Velmorandquist][Begin_Encryption]";
inline constexpr std::string_view kEndMarker = "[End_Encryption]";
inline constexpr std::string_view kLineBreak = "\r\n";
inline constexpr std::string_view kLevelMarks = "%^&"; // levels 1, 2, 3
inline constexpr std::string_view kChecksumKey = "T&52rB-k3W";
inline constexpr std::size_t kFieldLength = 10;
inline constexpr std::size_t kBlockOverhead = 77; // a block is n + 77 bytes
// The legacy levels' longest password; the strong level has its own bound.
inline constexpr std::size_t kMaxPasswordLength = 245;
// The longest plain text whose checksum fits the field: the sum of its byte
// values must stay within 999,999,999, and the cheapest bytes the domain lets
// through are CR LF pairs, 23 for two bytes (every other byte is 32 or more).
// So 43,478,260 pairs fit and no text of one byte more does.
inline constexpr std::size_t kMaxPlainTextLength = 2 * (999'999'999 / 23);

enum class Verdict { Good, WrongPassword, ChecksumError };

// Overwrites key material in a way the compiler may not drop.
void wipe(void *data, std::size_t size);

// --- Primitives --------------------------------------------------------------

// One step on a byte and a key byte, both taken as signed 8-bit values; the
// result is stored back as its low 8 bits.
unsigned char addStep(unsigned char a, unsigned char k);
unsigned char subtractStep(unsigned char a, unsigned char k);

// One pass over the whole target with the key repeated from its first byte.
// The key must not be empty (an empty key leaves the target alone).
void keyPassAdd(Bytes &target, BytesView key);
void keyPassSubtract(Bytes &target, BytesView key);

// Sum of the signed byte values in a 32-bit signed integer (wrapping).
std::int32_t checksum(BytesView plain);
// The checksum in decimal, left-padded with '0' to 10 characters
// (-123 gives "000000-123"); longer numbers are not cut.
Bytes checksumField(std::int32_t sum);

// --- Transform ---------------------------------------------------------------

// Field and text enciphered: 10 + plain.size() bytes. level is 1 to 3 (others
// are clamped) and the password is not empty.
Bytes encipher(BytesView plain, BytesView password, int level);

struct Deciphered
{
    Bytes plain;
    Verdict verdict = Verdict::WrongPassword;
};
// body: the normalised body (line breaks removed, level mark first); level 0
// to 3; the password must not be empty when level > 0 (if it is, no pass runs
// and the verdict is WrongPassword). A body shorter than the field gives
// WrongPassword; a field of ten "0" with an empty text is Good.
Deciphered decipher(BytesView body, int level, BytesView password);

// --- Block format ------------------------------------------------------------

// Begin marker, CR LF, the enciphered string with its first byte replaced by
// the level mark, CR LF, end marker.
Bytes writeBlock(int level, BytesView enciphered);
// encipher() followed by writeBlock().
Bytes encryptText(BytesView plain, BytesView password, int level);
// encryptText() where the text lies: afterwards text holds the block, and a
// long text is never held twice.
void encryptInPlace(Bytes &text, BytesView password, int level);
// The room a block takes in front of its text: begin marker, line break, field.
inline constexpr std::size_t kBlockHead = kBeginMarker.size() + kLineBreak.size() + kFieldLength;
// encryptInPlace() for a text that already lies after kBlockHead bytes of
// room (whatever they hold), which saves moving it there.
void encryptAfterRoom(Bytes &buffer, BytesView password, int level);

struct SplitText
{
    Bytes before;
    Bytes body; // raw, line breaks still in it
    Bytes after;
};
// Cuts a text into the parts around its block; nullopt when there is no block
// the scan can cut soundly (which the commands treat like a missing block).
std::optional<SplitText> splitText(BytesView text);

struct Body
{
    int level = 0; // 0 when the first byte is not a level mark
    Bytes normalised; // every CR and LF removed
};
Body readBody(BytesView rawBody);

// Whether the decrypt road finds a block to decipher in the text (see
// service.h for every block and its kind).
bool containsBlock(BytesView text);

// The whole decrypt road for a text: find, split, read, decipher.
struct Decryption
{
    bool found = false; // false: no block; text and verdict are meaningless
    Verdict verdict = Verdict::WrongPassword;
    Bytes text; // before-text + plain text + after-text
};
Decryption decryptText(BytesView text, BytesView password);
// decryptText() where the text lies: when found, text becomes what the
// result's text would have been (the result's own text stays empty); when
// not, text is left as it is.
Decryption decryptInPlace(Bytes &text, BytesView password);

// --- Domain ------------------------------------------------------------------

// The first thing in a plain text or password that would not come back
// exactly from a round trip. Lines and columns count from 1, in bytes, with
// CR LF ending a line.
struct DomainIssue
{
    enum class Kind {
        Tab, // byte 9
        LoneCarriageReturn, // 13 not followed by 10
        LoneLineFeed, // 10 not preceded by 13
        ControlCharacter, // any other byte below 32
        HighByte, // 128 to 255
        EscapePair, // "P^", which comes back as a line break
        ChecksumTooLarge, // the checksum does not fit the 10-character field
        PasswordCharacter, // a password byte outside 32 to 126
        EndMarkerInBlock, // the enciphered text happens to hold the end marker
    };
    Kind kind;
    std::size_t offset = 0; // of the offending byte (of the "P" for a pair)
    std::size_t line = 0;
    std::size_t column = 0;
    unsigned char byte = 0;

    // An English sentence fragment naming the thing and where it is,
    // for example "a tab at line 3, column 7".
    std::string describe() const;
};
// Byte 31 is taken as 127 inside the body of a block the text holds (between
// a begin marker and the next end marker): blocks hold it, and the block
// reader takes the two for the same character.
std::optional<DomainIssue> checkPlainText(BytesView plain);
// Turns byte 31 inside the bodies of the blocks a text holds into 127, so a
// text quoting a block comes back exactly. Encrypting a text calls it first.
void foldBlockBodies(Bytes &text);
// checkPlainText() on text[from, end), then, when it passes, foldBlockBodies()
// on the text, which the check tells to be needed or not: one pass less over
// a long text. text[0, from) is room that holds no "[".
std::optional<DomainIssue> checkAndFold(Bytes &text, std::size_t from = 0);
inline constexpr char kBlockControl = 31;
// An empty password is not a domain issue; the commands refuse it themselves.
std::optional<DomainIssue> checkPassword(BytesView password);

// The last check, on the block encryptText() wrote, before it replaces
// anything: whether it reads back whole. It does not when the enciphered text
// happens to spell the end marker, which some passwords make likely (a
// password of "`" leaves the text as it is at every level, so a text holding
// "[End_Encryption]" keeps it). Another password avoids it.
std::optional<DomainIssue> checkBlock(BytesView block);

// The encrypt command's minimum password length for a level: 1, 5, 8 or 12.
int minimumPasswordLength(int level);

} // namespace cipher
