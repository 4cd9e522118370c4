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

Bytes encryptText(BytesView plain, BytesView password, int level)
{
    Bytes block;
    block.reserve(plain.size() + kBlockOverhead);
    block += kBeginMarker;
    block += kLineBreak;
    const std::size_t markAt = block.size();
    detail::appendEnciphered(block, plain, password, level);
    block[markAt] = levelMark(level);
    block += kLineBreak;
    block += kEndMarker;
    return block;
}

bool hasSignature(BytesView text)
{
    if (text.find_first_of(kLineBreak) == BytesView::npos)
        return containsBeginMarker(text);
    return containsBeginMarker(detail::withoutLineBreaks(text));
}

bool containsBeginMarker(BytesView text)
{
    return text.find(kBeginMarker) != BytesView::npos;
}

std::optional<SplitText> splitText(BytesView text)
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
            state = State::Body;
            bodyStart = i;
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

    SplitText parts;
    switch (state) {
    case State::Before:
        // A begin marker the scan never completed (a line break inside it, or
        // one the restart matcher misses) cannot be cut soundly.
        if (begin != kBeginMarker.size())
            return std::nullopt;
        // Completed by the last character: the scan never reached a body.
        parts.before = text;
        return parts;
    case State::Body:
        parts.before = text.substr(0, bodyStart - kBeginMarker.size());
        parts.body = text.substr(bodyStart);
        return parts;
    case State::After:
        parts.before = text.substr(0, bodyStart - kBeginMarker.size());
        parts.body = text.substr(bodyStart, bodyEnd - bodyStart);
        parts.after = text.substr(afterStart);
        return parts;
    }
    return std::nullopt;
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
    return hasSignature(text) && splitText(text);
}

Decryption decryptText(BytesView text, BytesView password)
{
    Decryption result;
    if (!hasSignature(text))
        return result;
    std::optional<SplitText> parts = splitText(text);
    if (!parts)
        return result;

    const Body body = readBody(parts->body);
    Deciphered deciphered = decipher(body.normalised, body.level, password);
    result.found = true;
    result.verdict = deciphered.verdict;
    const std::size_t total = parts->before.size() + deciphered.plain.size() + parts->after.size();
    result.text = std::move(parts->before);
    result.text.reserve(total);
    if (!parts->body.empty())
        result.text += deciphered.plain;
    result.text += parts->after;
    return result;
}

} // namespace cipher
