// What the cipher carries exactly, so the commands can refuse the rest before
// anything changes. The text rules are the exact complement of what
// round-trips:
// bytes 32 to 127 and CR LF pairs come back, every other byte comes back
// changed (byte 31 inside a quoted block's body is folded to 127 first, which
// the block reader takes for the same character), "P^" comes back as a line break, and the field
// holds a checksum only from 0 to 999,999,999 with its first digit a "0".

#include "cipher/internal.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace cipher {

namespace {

constexpr std::int32_t kLargestChecksum = 999'999'999;

DomainIssue issueAt(DomainIssue::Kind kind, std::size_t offset, std::size_t line,
    std::size_t lineStart, unsigned char byte)
{
    DomainIssue issue {kind};
    issue.offset = offset;
    issue.line = line;
    issue.column = offset - lineStart + 1;
    issue.byte = byte;
    return issue;
}

// An issue in a text that is sound before it: every line feed there ends a
// CR LF pair, so they count the lines.
DomainIssue issueAt(DomainIssue::Kind kind, BytesView text, std::size_t offset)
{
    const BytesView before = text.substr(0, offset);
    const std::size_t lastBreak = before.rfind('\n');
    return issueAt(kind, offset,
        1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n')),
        lastBreak == BytesView::npos ? 0 : lastBreak + 1, static_cast<unsigned char>(text[offset]));
}

// Plain text is checked in stretches of this many bytes where it is
// ordinary, which is nearly everywhere.
constexpr std::size_t kStretch = 64;

// Whether p[0, kStretch) holds only bytes the byte-by-byte look would pass
// without a second thought: 32 to 127 other than a "P" before a "^", and the
// two halves of CR LF pairs. p[-1] and p[kStretch] must be readable.
// Adds the stretch's byte values to sum when it is ordinary (all below 128,
// so signed and unsigned alike).
VLQ_INLINE bool ordinaryStretch(const unsigned char *p, std::uint32_t &sum)
{
    unsigned char odd = 0;
    std::uint16_t part = 0;
    for (std::size_t k = 0; k < kStretch; ++k) {
        const unsigned char c = p[k];
        part = static_cast<std::uint16_t>(part + c);
        const unsigned char next = p[k + 1];
        const bool printable =
            (static_cast<unsigned char>(c - 32) < 96) & !((c == 'P') & (next == '^'));
        const bool paired = ((c == '\r') & (next == '\n'))
            | ((c == '\n') & (p[static_cast<std::ptrdiff_t>(k) - 1] == '\r'));
        odd |= static_cast<unsigned char>(!(printable | paired));
    }
    if (odd)
        return false;
    sum += part;
    return true;
}

// Where the ordinary stretches from i on end (i itself when there is none),
// their bytes added to sum.
VLQ_RUN_KERNEL std::size_t skipOrdinary(
    const unsigned char *p, std::size_t i, std::size_t n, std::uint32_t &sum)
{
    while (i > 0 && i + kStretch < n && ordinaryStretch(p + i, sum))
        i += kStretch;
    return i;
}

std::string where(const DomainIssue &issue)
{
    return " at line " + std::to_string(issue.line) + ", column " + std::to_string(issue.column);
}

std::string hexByte(unsigned char byte)
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "0x%02X", byte);
    return buffer;
}

// Where the bodies of the blocks a text holds lie: from the end of each begin
// marker to the next end marker.
std::vector<std::pair<std::size_t, std::size_t>> blockBodies(BytesView text)
{
    std::vector<std::pair<std::size_t, std::size_t>> bodies;
    std::size_t from = 0;
    for (;;) {
        const std::size_t begin = text.find(kBeginMarker, from);
        if (begin == BytesView::npos)
            break;
        const std::size_t start = begin + kBeginMarker.size();
        const std::size_t end = text.find(kEndMarker, start);
        if (end == BytesView::npos)
            break;
        bodies.emplace_back(start, end);
        from = end + kEndMarker.size();
    }
    return bodies;
}

} // namespace

namespace {

void foldAll(Bytes &text)
{
    for (const auto &[start, end] : blockBodies(text)) {
        for (std::size_t i = start; i < end; ++i) {
            if (text[i] == kBlockControl)
                text[i] = kBlockControl + 96;
        }
    }
}

} // namespace

void foldBlockBodies(Bytes &text)
{
    // Most texts quote no block; then there is nothing to look for.
    if (std::memchr(text.data(), kBlockControl, text.size()))
        foldAll(text);
}

int minimumPasswordLength(int level)
{
    switch (level) {
    case 2:
        return 5;
    case 3:
        return 8;
    case 4:
        return 12;
    default:
        return 1;
    }
}

namespace {

// checkPlainText(), telling also whether the text quotes a 31 to fold.
std::optional<DomainIssue> checkText(BytesView plain, bool &quotesControls)
{
    using Kind = DomainIssue::Kind;
    const auto *p = reinterpret_cast<const unsigned char *>(plain.data());
    const std::size_t n = plain.size();
    // Where the quoted blocks lie matters only for a byte 31, so they are
    // looked for at the first one.
    std::vector<std::pair<std::size_t, std::size_t>> bodies;
    bool bodiesFound = false;
    auto body = bodies.begin();
    // The checksum, taken along: signed byte values, wrapping as checksum()
    // does.
    std::uint32_t sum = 0;
    std::int64_t folded = 0; // what folding the block controls adds to the sum
    // Where the byte-by-byte look may hand over to whole stretches again.
    std::size_t lookUntil = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (i >= lookUntil) {
            i = skipOrdinary(p, i, n, sum);
            lookUntil = i + kStretch;
            // A stretch may end between the two bytes of a CR LF pair.
            if (p[i] == '\n' && i > 0 && p[i - 1] == '\r') {
                sum += '\n';
                continue;
            }
        }
        const unsigned char c = p[i];
        sum += static_cast<std::uint32_t>(static_cast<signed char>(c));
        if (c == kBlockControl) {
            if (!bodiesFound) {
                bodies = blockBodies(plain);
                bodiesFound = true;
                body = bodies.begin();
            }
            while (body != bodies.end() && body->second <= i)
                ++body;
            if (body != bodies.end() && body->first <= i) {
                folded += 96;
                continue;
            }
        }
        if (c >= 32 && c < 128) {
            if (c == 'P' && i + 1 < n && p[i + 1] == '^')
                return issueAt(Kind::EscapePair, plain, i);
            continue;
        }
        if (c == '\r' && i + 1 < n && p[i + 1] == '\n') {
            ++i;
            sum += '\n';
            continue;
        }
        Kind kind = Kind::ControlCharacter;
        if (c == '\t')
            kind = Kind::Tab;
        else if (c == '\r')
            kind = Kind::LoneCarriageReturn;
        else if (c == '\n')
            kind = Kind::LoneLineFeed;
        else if (c >= 128)
            kind = Kind::HighByte;
        return issueAt(kind, plain, i);
    }

    // Negative sums (or, past 2^31, wrapped ones) never read back, and from
    // 1,000,000,000 on the first digit is lost. A non-empty text summing to 0
    // can only come from the wrap, and reads as a wrong password.
    const auto total = static_cast<std::int32_t>(
        sum + static_cast<std::uint32_t>(static_cast<std::uint64_t>(folded)));
    if (total < 0 || total > kLargestChecksum || (total == 0 && n > 0))
        return DomainIssue {Kind::ChecksumTooLarge};
    quotesControls = folded != 0;
    return std::nullopt;
}

} // namespace

std::optional<DomainIssue> checkPlainText(BytesView plain)
{
    bool quotesControls = false;
    return checkText(plain, quotesControls);
}

std::optional<DomainIssue> checkAndFold(Bytes &text, std::size_t from)
{
    bool quotesControls = false;
    std::optional<DomainIssue> issue = checkText(BytesView(text).substr(from), quotesControls);
    if (!issue && quotesControls)
        foldAll(text);
    return issue;
}

std::optional<DomainIssue> checkPassword(BytesView password)
{
    for (std::size_t i = 0; i < password.size(); ++i) {
        const auto c = static_cast<unsigned char>(password[i]);
        if (c < 32 || c > 126)
            return issueAt(DomainIssue::Kind::PasswordCharacter, i, 1, 0, c);
    }
    return std::nullopt;
}

std::optional<DomainIssue> checkBlock(BytesView block)
{
    // Sound when the reader finds exactly the body the writer put there.
    const std::size_t frame = kBeginMarker.size() + kEndMarker.size();
    const std::optional<detail::Cut> cut = detail::cutText(block);
    if (cut && cut->beforeEnd == 0 && cut->afterStart == block.size() && block.size() >= frame
        && cut->bodyEnd - cut->bodyStart == block.size() - frame)
        return std::nullopt;
    return DomainIssue {DomainIssue::Kind::EndMarkerInBlock};
}

std::string DomainIssue::describe() const
{
    switch (kind) {
    case Kind::Tab:
        return "a tab" + where(*this);
    case Kind::LoneCarriageReturn:
        return "a carriage return without a line feed" + where(*this);
    case Kind::LoneLineFeed:
        return "a line feed without a carriage return" + where(*this);
    case Kind::ControlCharacter:
        return "the control character " + hexByte(byte) + where(*this);
    case Kind::HighByte:
        return "the character " + hexByte(byte) + where(*this);
    case Kind::EscapePair:
        return "the pair \"P^\"" + where(*this);
    case Kind::ChecksumTooLarge:
        return "a checksum too large for the block (the text is too long)";
    case Kind::PasswordCharacter:
        return "a password character outside 32 to 126 at position " + std::to_string(column);
    case Kind::EndMarkerInBlock:
        return "the end marker \"[End_Encryption]\" in its encrypted form (another password "
               "avoids this)";
    }
    return {};
}

} // namespace cipher
