// The encrypted block: writing it, finding it in a text, cutting the text
// around it and reading its body.

#include "cipher/internal.h"

#include <algorithm>
#include <cstring>

namespace cipher {

namespace {

char levelMark(int level)
{
    return kLevelMarks[static_cast<std::size_t>(std::clamp(level, 1, 3) - 1)];
}

// The scan's marker counter: on a mismatch (or after a complete match) it
// restarts at the marker's first character and tests the same character
// again, with no other backtracking. Texts that need backtracking to find the
// marker are therefore missed on purpose: that is how blocks have always been
// read.
std::size_t advance(std::size_t count, char c, BytesView marker)
{
    if (count == marker.size() || c != marker[count])
        count = 0;
    if (c == marker[count])
        ++count;
    return count;
}

// The first "[End_Encryption]" from `from` on. Block bodies hold a "[" in
// about 96 characters, too many to stop at each, so the scan looks for the
// rarer pair "[E" 64 bytes at a time.
constexpr std::size_t kStretch = 64;

// The first stretch from i on that holds the pair "[E" (with the byte after
// it), or the last whole one.
VLQ_RUN_KERNEL std::size_t nextPairStretch(const unsigned char *p, std::size_t i, std::size_t n)
{
    for (; i + kStretch < n; i += kStretch) {
        unsigned char pair = 0;
        for (std::size_t k = 0; k < kStretch; ++k)
            pair |= static_cast<unsigned char>((p[i + k] == '[') & (p[i + k + 1] == 'E'));
        if (pair)
            break;
    }
    return i;
}

std::size_t findEndMarker(BytesView text, std::size_t from)
{
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    const std::size_t n = text.size();
    std::size_t i = from;
    while ((i = nextPairStretch(p, i, n)) + kStretch < n) {
        for (std::size_t k = i; k < i + kStretch; ++k) {
            if (text.substr(k, kEndMarker.size()) == kEndMarker)
                return k;
        }
        i += kStretch;
    }
    return text.find(kEndMarker, i);
}

} // namespace

namespace detail {

Bytes withoutLineBreaks(BytesView text)
{
    Bytes out;
    out.reserve(text.size());
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t at = text.find_first_of(kLineBreak, from);
        const std::size_t to = at == BytesView::npos ? text.size() : at;
        out.append(text.substr(from, to - from));
        from = to + 1;
    }
    return out;
}

} // namespace detail

Bytes writeBlock(int level, BytesView enciphered)
{
    Bytes block;
    block.reserve(
        enciphered.size() + kBeginMarker.size() + 2 * kLineBreak.size() + kEndMarker.size());
    block += kBeginMarker;
    block += kLineBreak;
    if (!enciphered.empty()) {
        block += levelMark(level);
        block += enciphered.substr(1);
    }
    block += kLineBreak;
    block += kEndMarker;
    return block;
}

namespace {

// The block around a plain text that lies at block[kBlockHead, kBlockHead + n).
void finishBlock(Bytes &block, std::size_t n, BytesView password, int level)
{
    std::memcpy(block.data(), kBeginMarker.data(), kBeginMarker.size());
    std::memcpy(block.data() + kBeginMarker.size(), kLineBreak.data(), kLineBreak.size());
    const std::size_t markAt = kBlockHead - kFieldLength;
    detail::encipherInPlace(
        reinterpret_cast<unsigned char *>(block.data()) + markAt, n, password, level);
    block[markAt] = levelMark(level);
    block += kLineBreak;
    block += kEndMarker;
}

// Moves text[from, to) down to text[dest, ...) without its CR and LF bytes
// (dest <= from); returns where it ends. The next CR and the next LF are each
// looked for again only once passed, so the text is read once.
std::size_t moveWithoutLineBreaks(char *text, std::size_t from, std::size_t to, std::size_t dest)
{
    const auto next = [text, to](char c, std::size_t at) {
        const void *found = std::memchr(text + at, c, to - at);
        return found ? static_cast<std::size_t>(static_cast<const char *>(found) - text) : to;
    };
    std::size_t cr = next('\r', from);
    std::size_t lf = next('\n', from);
    for (;;) {
        const std::size_t stop = std::min(cr, lf);
        std::memmove(text + dest, text + from, stop - from);
        dest += stop - from;
        if (stop >= to)
            return dest;
        from = stop + 1;
        if (stop == cr)
            cr = next('\r', from);
        else
            lf = next('\n', from);
    }
}

} // namespace

Bytes encryptText(BytesView plain, BytesView password, int level)
{
    Bytes block;
    block.reserve(plain.size() + kBlockOverhead);
    block.append(kBlockHead, '0');
    block += plain;
    finishBlock(block, plain.size(), password, level);
    return block;
}

void encryptInPlace(Bytes &text, BytesView password, int level)
{
    const std::size_t n = text.size();
    text.reserve(n + kBlockOverhead);
    text.insert(0, kBlockHead, '0');
    finishBlock(text, n, password, level);
}

void encryptAfterRoom(Bytes &buffer, BytesView password, int level)
{
    buffer.reserve(buffer.size() + kBlockOverhead - kBlockHead);
    finishBlock(buffer, buffer.size() - kBlockHead, password, level);
}

namespace detail {

std::optional<Cut> cutText(BytesView text)
{
    enum class State { Before, Body, After };
    State state = State::Before;
    std::size_t begin = 0; // begin marker counter
    std::size_t end = 0; // end marker counter
    std::size_t bodyStart = 0;
    std::size_t bodyEnd = text.size();
    std::size_t afterStart = text.size();

    for (std::size_t i = 0; i < text.size(); ++i) {
        // Only the first completed begin marker opens the body.
        if (state == State::Before && begin == kBeginMarker.size()) {
            // The end counter stands at 0 here (no tail of the begin marker
            // starts the end marker), and it misses no end marker: its "["
            // comes only first. So the body ends at the first one there is.
            state = State::Body;
            bodyStart = i;
            const std::size_t at = findEndMarker(text, bodyStart);
            if (at != BytesView::npos) {
                bodyEnd = at;
                afterStart = at + kEndMarker.size();
                state = State::After;
            }
            break;
        }
        const char c = text[i];
        begin = advance(begin, c, kBeginMarker);
        end = advance(end, c, kEndMarker);
        // An end marker before the body is ordinary text; the first one in the
        // body closes it, and everything after it is after-text, untouched.
        if (state == State::Body && end == kEndMarker.size()) {
            bodyEnd = std::max(bodyStart, i + 1 - kEndMarker.size());
            afterStart = i + 1;
            state = State::After;
            break;
        }
        // Both counters sit at 0 until the next "[", where both markers start.
        if (begin == 0 && end == 0 && state != State::After) {
            const void *next = std::memchr(text.data() + i + 1, '[', text.size() - i - 1);
            if (!next)
                break;
            i = static_cast<std::size_t>(static_cast<const char *>(next) - text.data()) - 1;
        }
    }

    Cut cut;
    switch (state) {
    case State::Before:
        // A begin marker the scan never completed (a line break inside it, or
        // one the restart matcher misses) cannot be cut soundly.
        if (begin != kBeginMarker.size())
            return std::nullopt;
        // Completed by the last character: the scan never reached a body.
        cut.beforeEnd = cut.bodyStart = cut.bodyEnd = cut.afterStart = text.size();
        return cut;
    case State::Body:
        cut.beforeEnd = bodyStart - kBeginMarker.size();
        cut.bodyStart = bodyStart;
        cut.bodyEnd = cut.afterStart = text.size();
        return cut;
    case State::After:
        cut.beforeEnd = bodyStart - kBeginMarker.size();
        cut.bodyStart = bodyStart;
        cut.bodyEnd = bodyEnd;
        cut.afterStart = afterStart;
        return cut;
    }
    return std::nullopt;
}

} // namespace detail

std::optional<SplitText> splitText(BytesView text)
{
    const std::optional<detail::Cut> cut = detail::cutText(text);
    if (!cut)
        return std::nullopt;
    SplitText parts;
    parts.before = text.substr(0, cut->beforeEnd);
    parts.body = text.substr(cut->bodyStart, cut->bodyEnd - cut->bodyStart);
    parts.after = text.substr(cut->afterStart);
    return parts;
}

Body readBody(BytesView rawBody)
{
    Body body;
    body.normalised = detail::withoutLineBreaks(rawBody);
    if (!body.normalised.empty()) {
        const std::size_t mark = kLevelMarks.find(body.normalised.front());
        body.level = mark == BytesView::npos ? 0 : static_cast<int>(mark) + 1;
    }
    return body;
}

bool containsBlock(BytesView text)
{
    return detail::cutText(text).has_value();
}

Decryption decryptInPlace(Bytes &text, BytesView password)
{
    // A cut implies the signature: the scan only cuts at a begin marker that
    // is in the text as it is, so it is there with the line breaks removed.
    Decryption result;
    const std::optional<detail::Cut> cut = detail::cutText(text);
    if (!cut)
        return result;
    result.found = true;

    // The body without its line breaks goes where the begin marker was, the
    // plain text comes out over it, and the after-text follows it down.
    char *data = text.data();
    const std::size_t bodyAt = cut->beforeEnd;
    const std::size_t bodySize =
        moveWithoutLineBreaks(data, cut->bodyStart, cut->bodyEnd, bodyAt) - bodyAt;
    int level = 0;
    if (bodySize > 0) {
        const std::size_t mark = kLevelMarks.find(data[bodyAt]);
        level = mark == BytesView::npos ? 0 : static_cast<int>(mark) + 1;
    }
    result.verdict = detail::decipherInPlace(
        reinterpret_cast<unsigned char *>(data) + bodyAt, bodySize, level, password);
    const std::size_t plainEnd = bodyAt + bodySize - std::min(bodySize, kFieldLength);
    const std::size_t afterSize = text.size() - cut->afterStart;
    std::memmove(data + plainEnd, data + cut->afterStart, afterSize);
    text.resize(plainEnd + afterSize);
    return result;
}

Decryption decryptText(BytesView text, BytesView password)
{
    Bytes work(text);
    Decryption result = decryptInPlace(work, password);
    if (result.found)
        result.text = std::move(work);
    return result;
}

} // namespace cipher
