#pragma once

// The RTF reader: one pass over the bytes, no recursion, building the text
// with a QTextCursor. Paragraphs become blocks, \line a U+2028 inside the
// block; each run carries font family, size, bold, italic, underline,
// strike-out and colour. Tables, lists, pictures and objects are not built:
// cells end paragraphs, list labels are text, pictures are skipped.

#include <QByteArrayView>

class QTextCursor;

namespace platform::rtf {

// Inserts the document the bytes hold at the cursor. Returns false when the
// bytes end before the document's outer group closes (what was read is kept).
// Bytes after the outer group are ignored.
bool readRtf(QByteArrayView bytes, QTextCursor &cursor);

} // namespace platform::rtf
