#pragma once

// The RTF writer: Windows-1252 text with \'hh and \uN escapes, a font table
// and a colour table of what the document uses, and per run the formatting
// of RunFormat. The source stays ASCII in short lines, so a saved file can
// travel by mail as it is.

#include <QByteArray>
#include <QColor>

class QTextDocument;

namespace document::rtf {

// See saveBytes() for the default colour.
QByteArray writeRtf(const QTextDocument &doc, const QColor &defaultColor = QColor());

} // namespace document::rtf
