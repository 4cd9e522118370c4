#include "document/rtfcodec.h"

#include "document/cp1252.h"
#include "document/rtfreader.h"
#include "document/rtfwriter.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTextCursor>
#include <QTextDocument>

#include <new>

namespace document::rtf {

namespace {

QString loadFailed()
{
    return QStringLiteral("Failed to Load Stream");
}

QString saveFailed()
{
    return QStringLiteral("Failed to Save Stream");
}

// Text files here are UTF-8; anything that is not valid UTF-8 is taken as
// the program's ANSI code page. LF, CR LF and CR each end a paragraph.
QString plainText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = cp1252::decode(bytes);
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text.at(i).unicode();
        switch (c) {
        case u'\r':
            if (i + 1 < n && text.at(i + 1) == u'\n')
                ++i;
            out.append(QChar::ParagraphSeparator);
            break;
        case u'\n':
            out.append(QChar::ParagraphSeparator);
            break;
        case u'\uFDD0': // would be taken for frame marks
        case u'\uFDD1':
            out.append(QChar(0xFFFD));
            break;
        default:
            out.append(QChar(c));
            break;
        }
    }
    return out;
}

} // namespace

bool looksLikeRtf(const QByteArray &bytes)
{
    qsizetype i = 0;
    while (i < bytes.size()
        && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n'
            || bytes[i] == '\f' || bytes[i] == '\v'))
        ++i;
    return QByteArrayView(bytes).sliced(i).startsWith("{\\rtf");
}

void loadBytes(QTextDocument &doc, const QByteArray &bytes)
{
    const QFont font = doc.defaultFont();
    const bool undo = doc.isUndoRedoEnabled();
    // Without undo the load keeps no copy of the old or new text.
    doc.setUndoRedoEnabled(false);
    doc.clear();
    if (doc.defaultFont() != font)
        doc.setDefaultFont(font);
    QTextCursor cursor(&doc);
    cursor.beginEditBlock();
    bool failed = false;
    try {
        if (looksLikeRtf(bytes))
            readRtf(bytes, cursor);
        else
            cursor.insertText(plainText(bytes), QTextCharFormat());
    } catch (const std::bad_alloc &) {
        failed = true;
    }
    cursor.endEditBlock();
    doc.setUndoRedoEnabled(undo);
    doc.clearUndoRedoStacks();
    doc.setModified(false);
    if (failed)
        throw Error(loadFailed());
}

QByteArray saveBytes(const QTextDocument &doc)
{
    try {
        return writeRtf(doc);
    } catch (const std::bad_alloc &) {
        throw Error(saveFailed());
    }
}

void loadFile(QTextDocument &doc, const QString &fileName)
{
    QFile file(fileName);
    if (fileName.isEmpty() || QFileInfo(fileName).isDir() || !file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Cannot open file %1").arg(fileName));
    QByteArray bytes;
    try {
        bytes = file.readAll();
    } catch (const std::bad_alloc &) {
        throw Error(loadFailed());
    }
    if (file.error() != QFileDevice::NoError)
        throw Error(loadFailed());
    loadBytes(doc, bytes);
}

void saveFile(const QTextDocument &doc, const QString &fileName)
{
    const QString cannotCreate = QStringLiteral("Cannot create file %1").arg(fileName);
    const QFileInfo info(fileName);
    // A file nobody may write to counts as read-only, also for root, who
    // could otherwise replace it.
    constexpr QFile::Permissions writable =
        QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    if (fileName.isEmpty() || info.isDir() || (info.exists() && !(info.permissions() & writable)))
        throw Error(cannotCreate);
    const QByteArray bytes = saveBytes(doc);
    // The text goes to a new file beside the target, which replaces the
    // target only once it is complete: a failed save leaves the old file.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw Error(cannotCreate);
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw Error(saveFailed());
}

} // namespace document::rtf
