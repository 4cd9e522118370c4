#pragma once

// The RTF reader: one pass over the bytes, no recursion, building the text
// with a QTextCursor. Paragraphs become blocks, \line a U+2028 inside the
// block; each run carries font family, size, bold, italic, underline,
// strike-out and colour. Tables, lists, pictures and objects are not built:
// cells end paragraphs, list labels are text, pictures are skipped.

#include <QByteArrayView>

class QTextCursor;

namespace document::rtf {

// Font sizes in half points that a file may state and that are written: what
// the platform's rich text controls take.
inline constexpr int kMinHalfPoints = 2;
inline constexpr int kMaxHalfPoints = 3276;

// Inserts the document the bytes hold at the cursor. Returns false when the
// bytes end before the document's outer group closes (what was read is kept).
// Bytes after the outer group are ignored.
bool readRtf(QByteArrayView bytes, QTextCursor &cursor);

// Whether a font name read from RTF keeps the character: control
// characters, line breaks and object marks are dropped, so a name the
// writer writes reads back the same.
inline bool keptInFontName(char16_t c)
{
    return c >= 0x20 && c != u'\u2028' && c != u'\uFFFC' && c != u'\uFDD0' && c != u'\uFDD1';
}

} // namespace document::rtf
