#pragma once

// The document's file format: RTF written, RTF read, else plain text.
// Shared by the main window, the file wiper and the mail composer.

#include "document/error.h"

#include <QByteArray>
#include <QColor>
#include <QString>

class QFont;
class QTextCharFormat;
class QTextDocument;

namespace document::rtf {

// True when the bytes begin with "{\rtf" after optional white space.
bool looksLikeRtf(const QByteArray &bytes);

// Replace the document's content by the bytes: RTF when looksLikeRtf(), else
// plain text (UTF-8 when valid, with or without BOM, else Windows-1252; LF,
// CR LF and CR each end a paragraph; no formatting of its own, so the
// default font applies). Both reads accept any bytes: a damaged or cut-off
// RTF file gives what it holds up to the damage. Throws Error("Failed to
// Load Stream") only when memory runs out. The load is one edit block
// without undo: afterwards the undo stack is empty, the document is not
// modified and its default font is the one it had.
void loadBytes(QTextDocument &doc, const QByteArray &bytes);

// The document as RTF: ASCII in lines of at most 80 characters; each block
// a paragraph, U+2028 a \line, and every run with its RunFormat. Tables,
// lists and images are not written, their text is. A valid default colour is
// the colour of runs without one of their own (the colour the editor shows
// them in), written as such; without it they stay "auto". Throws
// Error("Failed to Save Stream") only when memory runs out.
QByteArray saveBytes(const QTextDocument &doc, const QColor &defaultColor = QColor());

// Files. Errors: "Cannot open file %1" (the name as given: missing, not
// readable, not a regular file after following links: a folder, a FIFO, a
// device), "Failed to Load Stream" (opened, but reading failed), "Cannot
// create file %1" (the file cannot be created, is not a regular file, or it
// exists and has no write permission for anyone), "Failed to Save Stream"
// (writing or replacing failed). A save keeps the file's identity: symbolic
// links are followed, and the target keeps its inode, hard links, owner,
// group and mode. Usually the text is written beside the target and replaces
// it atomically; when that would lose hard links, owner or group, or the
// folder takes no new files, the target is written over after a backup copy
// of it, which is written back should the write fail. Either way a failed
// save leaves the old file as it was.
void loadFile(QTextDocument &doc, const QString &fileName);
//
// A private save (of a secret) is readable by the user only, whatever the
// umask: a new file gets mode 0600, an existing one keeps its mode unless
// group or others may read it, and then becomes 0600 (the return value says
// so, for the user to be told; false otherwise). A file whose mode cannot be
// changed is not written: "Cannot save %1 privately: ...".
enum class Access { AsFile, Private };
bool saveFile(const QTextDocument &doc, const QString &fileName,
    const QColor &defaultColor = QColor(), Access access = Access::AsFile);

// The character formatting the file format carries, as a run shows it: the
// run's own properties where it sets them, else those of the document's
// default font and the default colour. An invalid colour is the text colour
// ("auto"). The writer
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
RunFormat resolvedFormat(
    const QTextCharFormat &format, const QFont &defaultFont, const QColor &defaultColor = QColor());

} // namespace document::rtf
