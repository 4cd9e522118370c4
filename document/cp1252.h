#pragma once

// Windows-1252, the program's 8-bit code page.

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace document::cp1252 {

// The byte for a code point, or -1 when the code page cannot hold it.
int byteFor(char32_t codePoint);
// The code point for a byte; the five unassigned bytes (81, 8D, 8F, 90, 9D)
// map to the C1 control of the same value, as the platform's conversion does.
char32_t codePointFor(unsigned char byte);

// A character the code page cannot hold becomes '?' and counts one byte
// (a surrogate pair is one character). U+2029 and U+2028 become CR LF.
QByteArray encode(QStringView text);
QString decode(const QByteArray &bytes);

} // namespace document::cp1252
