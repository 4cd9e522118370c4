#pragma once

// The document's file format: RTF written, RTF read, else plain text.
// Shared by the main window, the file wiper and the mail composer.

#include "platform/error.h"

#include <QByteArray>
#include <QColor>
#include <QString>

class QFont;
class QTextCharFormat;
class QTextDocument;

namespace platform::rtf {

// True when the bytes begin with "{\rtf" after optional white space.
bool looksLikeRtf(const QByteArray &bytes);

// Replace the document's content by the bytes: RTF when looksLikeRtf(), else
// plain text (UTF-8 when valid, with or without BOM, else Windows-1252; LF,
// CR LF and CR each end a paragraph). Throws Error("Failed to Load Stream")
// when neither read accepts the bytes.
void loadBytes(QTextDocument &doc, const QByteArray &bytes);

// The document as RTF.
QByteArray saveBytes(const QTextDocument &doc);

// Files. Errors: "Cannot open file %1" (the name as given), "Failed to Load
// Stream", "Cannot create file %1", "Failed to Save Stream". A save writes
// beside the target and replaces it atomically, so a failed save leaves the
// old file as it was.
void loadFile(QTextDocument &doc, const QString &fileName);
void saveFile(const QTextDocument &doc, const QString &fileName);

// The character formatting the file format carries, as a run shows it: the
// run's own properties where it sets them, else those of the document's
// default font. An invalid colour is the text colour ("auto"). The writer
// writes this; reading the file back gives a run with the same RunFormat.
struct RunFormat
{
    QString family;
    qreal pointSize = 12;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    QColor color;
    bool operator==(const RunFormat &) const = default;
};
RunFormat resolvedFormat(const QTextCharFormat &format, const QFont &defaultFont);

} // namespace platform::rtf
