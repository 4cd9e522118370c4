#include "document/rtfcodec.h"

#include "document/cp1252.h"
#include "document/rtfreader.h"
#include "document/rtfwriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTemporaryFile>
#include <QTextCursor>
#include <QTextDocument>

#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

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
    // The clear belongs to the edit block too: outside it, the layout would
    // follow every insertion of the load one by one, with work growing with
    // the text laid out so far.
    QTextCursor cursor(&doc);
    cursor.beginEditBlock();
    doc.clear();
    if (doc.defaultFont() != font)
        doc.setDefaultFont(font);
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

QByteArray saveBytes(const QTextDocument &doc, const QColor &defaultColor)
{
    try {
        return writeRtf(doc, defaultColor);
    } catch (const std::bad_alloc &) {
        throw Error(saveFailed());
    }
}

void loadFile(QTextDocument &doc, const QString &fileName)
{
    const QString cannotOpen = QStringLiteral("Cannot open file %1").arg(fileName);
    // Only regular files are read: a FIFO, a device or a folder would block
    // in open() or read forever. The type is checked before opening, and
    // again on what was opened, without blocking, in case the name was
    // given to something else meanwhile.
    if (fileName.isEmpty() || !QFileInfo(fileName).isFile())
        throw Error(cannotOpen);
    const int fd =
        ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw Error(cannotOpen);
    struct stat st;
    QFile file;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)
        || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw Error(cannotOpen);
    }
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

namespace {

// Writes the bytes over the file's own content, so that the file keeps its
// inode, its other hard links, its owner, group and mode. The old content
// goes to a backup file first (beside the file when its folder allows,
// else in the temporary folder); when the write fails the old content is
// written back and the backup removed, and should even that fail, the
// backup stays where it is. fsync() is called by hand: QFile offers no way
// to know the bytes are on the disk before the old ones are written over.
constexpr mode_t kOthersRead = S_IRGRP | S_IROTH;
constexpr QFileDevice::Permissions kPrivate = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

Error notPrivate(const QString &target, const QString &why)
{
    return Error(QStringLiteral("Cannot save %1 privately: other users may read it and its "
                                "permissions cannot be changed (%2)")
                     .arg(target, why));
}

// Before a private save: true when the file was readable by others and is
// now 0600 (nothing is written yet).
bool makePrivate(QFile &file, const QString &target)
{
    struct stat st;
    if (::fstat(file.handle(), &st) != 0)
        throw notPrivate(target, qt_error_string(errno));
    if (!(st.st_mode & kOthersRead))
        return false;
    if (::fchmod(file.handle(), S_IRUSR | S_IWUSR) != 0)
        throw notPrivate(target, qt_error_string(errno));
    return true;
}

bool saveInPlace(
    const QString &target, const QByteArray &bytes, const QString &cannotCreate, Access access)
{
    QFile file(target);
    // Unbuffered: after a failed write no buffered rest stands in the way
    // of writing the old content back.
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        throw Error(cannotCreate);
    const bool madePrivate = access == Access::Private && makePrivate(file, target);
    QByteArray old;
    try {
        old = file.readAll();
    } catch (const std::bad_alloc &) {
        throw Error(saveFailed());
    }
    if (file.error() != QFileDevice::NoError)
        throw Error(saveFailed());

    const QFileInfo info(target);
    const QString name = QStringLiteral("/.%1.XXXXXX~").arg(info.fileName());
    QTemporaryFile backup(info.absolutePath() + name);
    if (!backup.open()) {
        backup.setFileTemplate(QDir::tempPath() + name);
        if (!backup.open())
            throw Error(saveFailed());
    }
    if (backup.write(old) != old.size() || !backup.flush() || ::fsync(backup.handle()) != 0)
        throw Error(saveFailed());

    // Writing over the old bytes before cutting the file to size keeps
    // their disk space for the case that the old content must go back.
    const auto writeAll = [&file](const QByteArray &content) {
        return file.seek(0) && file.write(content) == content.size() && file.flush()
            && file.resize(content.size()) && ::fsync(file.handle()) == 0;
    };
    if (writeAll(bytes))
        return madePrivate;
    file.unsetError();
    if (!writeAll(old))
        backup.setAutoRemove(false);
    throw Error(saveFailed());
}

} // namespace

bool saveFile(
    const QTextDocument &doc, const QString &fileName, const QColor &defaultColor, Access access)
{
    const QString cannotCreate = QStringLiteral("Cannot create file %1").arg(fileName);
    const QFileInfo info(fileName);
    // A file nobody may write to counts as read-only, also for root, who
    // could otherwise replace it.
    constexpr QFile::Permissions writable =
        QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    if (fileName.isEmpty() || info.isDir() || (info.exists() && !(info.permissions() & writable)))
        throw Error(cannotCreate);
    // A symbolic link stays a link: its target is written.
    const QString target = info.exists() ? info.canonicalFilePath() : fileName;
    if (info.exists() && !info.isFile())
        throw Error(cannotCreate);
    const QByteArray bytes = saveBytes(doc, defaultColor);

    // Replacing the file by another would cut it from its other hard links,
    // which would keep the old content, and would give it this process's
    // owner and group; then the file is written over instead, as it is when
    // its folder takes no new files.
    struct stat st;
    if (info.exists() && ::stat(QFile::encodeName(target).constData(), &st) == 0
        && (st.st_nlink > 1 || st.st_uid != ::geteuid() || st.st_gid != ::getegid()
            || ::access(
                   QFile::encodeName(QFileInfo(target).absolutePath()).constData(), W_OK | X_OK)
                != 0)) {
        return saveInPlace(target, bytes, cannotCreate, access);
    }

    // The text goes to a new file beside the target, which replaces the
    // target only once it is complete: a failed save leaves the old file.
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly))
        throw Error(cannotCreate);
    // The new file takes the old one's mode, or the umask's: a private save
    // sets it before a byte is written.
    bool madePrivate = false;
    if (access == Access::Private) {
        const bool wasOpen = info.exists() && (info.permissions()
                                                  & (QFileDevice::ReadGroup | QFileDevice::ReadOther));
        if (!info.exists() || wasOpen) {
            if (!file.setPermissions(kPrivate))
                throw notPrivate(target, file.errorString());
            madePrivate = wasOpen;
        }
    }
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw Error(saveFailed());
    return madePrivate;
}

} // namespace document::rtf
