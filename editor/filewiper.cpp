#include "editor/filewiper.h"

#include "document/error.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using document::Error;

namespace editor {

namespace {

constexpr qint64 kChunk = 1024 * 1024;

QString cannotOpen(const QString &name)
{
    return QStringLiteral("Cannot open file %1").arg(name);
}

QString cannotCreate(const QString &name)
{
    return QStringLiteral("Cannot create file %1").arg(name);
}

// Why the thing at the name, looked at without following a link, is no file
// to wipe; empty when it is a regular file.
QString notWipeable(const QString &name, mode_t mode)
{
    if (S_ISREG(mode))
        return {};
    if (S_ISLNK(mode))
        return QStringLiteral("Cannot wipe %1: it is a symbolic link, and wiping it would erase "
                              "the file it points to")
            .arg(name);
    if (S_ISDIR(mode))
        return QStringLiteral("Cannot wipe %1: it is a folder, not a file").arg(name);
    return QStringLiteral("Cannot wipe %1: it is a device or other special file, not a regular "
                          "file")
        .arg(name);
}

// Why the file could not be deleted from its folder once overwritten; empty
// when it could. Asked first, so a file that would stay behind as random
// bytes is not touched at all.
QString notDeletable(const QString &name, const struct stat &file)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(name).absolutePath());
    const auto refused = [&](const QString &why) {
        return QStringLiteral("Cannot wipe %1: it could not be deleted from its folder afterwards "
                              "(%2)")
            .arg(name, why);
    };
    if (::faccessat(AT_FDCWD, folder.constData(), W_OK | X_OK, AT_EACCESS) != 0)
        return refused(qt_error_string(errno));
    struct stat dir
    {
    };
    if (::stat(folder.constData(), &dir) != 0)
        return refused(qt_error_string(errno));
    // In a folder with the sticky bit only the owner of the file or of the
    // folder may remove a name (and root, who may do anything here).
    const uid_t me = ::geteuid();
    if ((dir.st_mode & S_ISVTX) && me != 0 && me != file.st_uid && me != dir.st_uid)
        return refused(QStringLiteral("the folder lets only the file's owner delete it"));
    return {};
}

// Opens the file found at the name when it was looked at. A link or other
// file put there since is not followed or used: false, as when the file
// cannot be opened.
bool openSame(QFile &file, const QByteArray &path, int flags, QIODevice::OpenMode mode,
    const struct stat &seen)
{
    // Non-blocking, so a FIFO put there meanwhile cannot hang the open.
    const int fd = ::open(path.constData(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat now
    {
    };
    if (::fstat(fd, &now) != 0 || !S_ISREG(now.st_mode) || now.st_dev != seen.st_dev
        || now.st_ino != seen.st_ino
        || !file.open(fd, mode | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

Error overwriteFailed(const QString &name, const QString &why)
{
    return Error(
        QStringLiteral("Failed to overwrite file %1 (%2); it was not deleted").arg(name, why));
}

// Writes random bytes over the file's whole length, in place (the file's own
// blocks, not new ones a truncation would hand out), and makes the device
// hold them before the name goes.
void overwrite(QFile &file, const QString &name)
{
    const qint64 size = file.size();
    std::vector<quint32> random(std::size_t(kChunk) / sizeof(quint32));
    for (qint64 done = 0; done < size;) {
        const qint64 n = std::min(kChunk, size - done);
        QRandomGenerator::system()->fillRange(
            random.data(), qsizetype((n + 3) / qint64(sizeof(quint32))));
        // A short write is retried for the rest, so a failure shows its cause.
        const char *bytes = reinterpret_cast<const char *>(random.data());
        for (qint64 written = 0; written < n;) {
            const qint64 w = file.write(bytes + written, n - written);
            if (w <= 0)
                throw overwriteFailed(name, file.errorString());
            written += w;
        }
        done += n;
    }
    if (::fsync(file.handle()) != 0)
        throw overwriteFailed(name, qt_error_string(errno));
    file.close();
}

} // namespace

void wipeFile(const QString &name, const std::function<void(QFile &)> &readCheck)
{
    if (name.isEmpty())
        throw Error(cannotOpen(name));
    const QByteArray path = QFile::encodeName(name);
    // Looked at before anything follows a link: wiping a link would wipe the
    // file it points to.
    struct stat seen
    {
    };
    if (::lstat(path.constData(), &seen) != 0)
        throw Error(cannotOpen(name));
    if (const QString why = notWipeable(name, seen.st_mode); !why.isEmpty())
        throw Error(why);
    if (const QString why = notDeletable(name, seen); !why.isEmpty())
        throw Error(why);

    {
        QFile file;
        if (!openSame(file, path, O_RDONLY, QIODevice::ReadOnly, seen))
            throw Error(cannotOpen(name));
        readCheck(file);
    }

    // A file nobody may write to was made read-only on purpose; root could
    // write it all the same.
    if (!(seen.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)))
        throw Error(cannotCreate(name));
    {
        QFile file;
        if (!openSame(file, path, O_WRONLY, QIODevice::WriteOnly, seen))
            throw Error(cannotCreate(name));
        overwrite(file, name);
    }

    QFile file(name);
    if (!file.remove())
        throw Error(QStringLiteral("Cannot delete file %1 (%2); its content was overwritten")
                        .arg(name, file.errorString()));
}

} // namespace editor
