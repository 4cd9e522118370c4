#pragma once

// The document's file format: RTF written, RTF read, else plain text.
// Shared by the main window, the file wiper and the mail composer.

#include "platform/error.h"

#include <QByteArray>
#include <QString>

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

} // namespace platform::rtf
