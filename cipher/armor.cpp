#include "cipher/armor.h"

#include <optional>

namespace cipher::armor {

namespace {

constexpr std::string_view kBlanks = " \t";

bool isQuote(std::string_view prefix)
{
    return prefix.find_first_not_of("> \t") == std::string_view::npos;
}

std::string_view trimmedRight(std::string_view s)
{
    const std::size_t last = s.find_last_not_of(" \t\r");
    return last == std::string_view::npos ? std::string_view() : s.substr(0, last + 1);
}

// The line at `at`: its content (without CR LF or LF) and where the next
// one starts.
struct Line
{
    std::string_view content;
    std::size_t next = 0;
};

Line lineAt(BytesView text, std::size_t at)
{
    const std::size_t feed = text.find('\n', at);
    const std::size_t stop = feed == BytesView::npos ? text.size() : feed;
    std::string_view content = text.substr(at, stop - at);
    if (!content.empty() && content.back() == '\r')
        content.remove_suffix(1);
    return {content, feed == BytesView::npos ? text.size() : feed + 1};
}

// The line without its quote; false when it does not carry the quote. Mail
// programs drop the trailing blank of a quoted empty line ("> " as ">").
bool withoutQuote(std::string_view line, std::string_view quote, std::string_view &rest)
{
    if (line.starts_with(quote)) {
        rest = line.substr(quote.size());
        return true;
    }
    if (trimmedRight(line) == trimmedRight(quote)) {
        rest = {};
        return true;
    }
    return false;
}

// Where the end marker stops when the line (without its quote) starts with
// it; prose may follow on its line.
std::optional<std::size_t> endMarker(std::string_view rest)
{
    const std::size_t first = rest.find_first_not_of(kBlanks);
    if (first == std::string_view::npos || !rest.substr(first).starts_with(kEnd))
        return std::nullopt;
    return first + kEnd.size();
}

} // namespace

std::vector<Armored> find(BytesView text)
{
    std::vector<Armored> found;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find(kBegin, from);
        if (at == BytesView::npos)
            break;
        from = at + kBegin.size();
        const Line first = lineAt(text, at);
        if (!trimmedRight(first.content.substr(kBegin.size())).empty())
            continue; // not a begin line: something follows the marker
        const std::size_t feed = at == 0 ? BytesView::npos : text.rfind('\n', at - 1);
        const std::size_t lineStart = feed == BytesView::npos ? 0 : feed + 1;
        Armored armored;
        const std::string_view prefix = text.substr(lineStart, at - lineStart);
        // A marker after prose on its line starts a message whose other
        // lines carry no quote.
        armored.begin = isQuote(prefix) ? lineStart : at;
        if (isQuote(prefix))
            armored.quote = prefix;
        armored.end = at + first.content.size();
        std::size_t next = first.next;
        bool ended = false;
        while (next < text.size() && !ended) {
            const Line line = lineAt(text, next);
            std::string_view rest;
            if (!withoutQuote(line.content, armored.quote, rest))
                break;
            armored.end = next + line.content.size();
            if (const auto stop = endMarker(rest)) {
                armored.end = next + std::size_t(rest.data() - line.content.data()) + *stop;
                ended = true;
            }
            next = line.next;
        }
        found.push_back(armored);
        from = armored.end;
    }
    return found;
}

Bytes unquote(BytesView text, const Armored &armored)
{
    Bytes out;
    out.reserve(armored.end - armored.begin + 64);
    std::size_t at = armored.begin;
    // The begin line of a message inside prose starts at its marker.
    std::string_view quote = armored.quote;
    while (at < armored.end) {
        const Line line = lineAt(text.substr(0, armored.end), at);
        std::string_view rest = line.content;
        withoutQuote(line.content, quote, rest);
        out += trimmedRight(rest);
        out += '\n';
        at = line.next;
    }
    return out;
}

} // namespace cipher::armor
