#include "editor/filewiper.h"

#include "document/error.h"

#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstdio>
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

Error overwriteFailed(const QString &name, const QString &why)
{
    return Error(
        QStringLiteral("Failed to overwrite file %1 (%2); it was not deleted").arg(name, why));
}

Error deleteFailed(const QString &name, const QString &why)
{
    return Error(
        QStringLiteral("Cannot delete file %1 (%2); its content was overwritten").arg(name, why));
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
QString notDeletable(const QString &name, int folder, uid_t owner)
{
    const auto refused = [&](const QString &why) {
        return QStringLiteral("Cannot wipe %1: it could not be deleted from its folder afterwards "
                              "(%2)")
            .arg(name, why);
    };
    if (::faccessat(folder, ".", W_OK | X_OK, AT_EACCESS) != 0)
        return refused(qt_error_string(errno));
    struct stat dir
    {
    };
    if (::fstat(folder, &dir) != 0)
        return refused(qt_error_string(errno));
    // In a folder with the sticky bit only the owner of the file or of the
    // folder may remove a name (and root, who may do anything here).
    const uid_t me = ::geteuid();
    if ((dir.st_mode & S_ISVTX) && me != 0 && me != owner && me != dir.st_uid)
        return refused(QStringLiteral("the folder lets only the file's owner delete it"));
    return {};
}

// Opens the name in the folder if it is still the file looked at, with no
// name added since; -1 otherwise, as when it cannot be opened.
int openSame(
    int folder, const QByteArray &base, int flags, dev_t device, ino_t inode, nlink_t links)
{
    // Non-blocking and not following links, so neither a FIFO nor a link
    // put there meanwhile can hang the open or lead elsewhere.
    const int fd = ::openat(folder, base.constData(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat now
    {
    };
    if (::fstat(fd, &now) != 0 || !S_ISREG(now.st_mode) || now.st_dev != device
        || now.st_ino != inode || now.st_nlink > links) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Writes random bytes over the file's whole length, in place (the file's own
// blocks, not new ones a truncation would hand out), and makes the device
// hold them before the name goes.
void overwrite(int fd, const QString &name)
{
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0)
        throw overwriteFailed(name, qt_error_string(errno));
    const qint64 size = st.st_size;
    std::vector<quint32> random(std::size_t(kChunk) / sizeof(quint32));
    for (qint64 done = 0; done < size;) {
        const qint64 n = std::min(kChunk, size - done);
        QRandomGenerator::system()->fillRange(
            random.data(), qsizetype((n + 3) / qint64(sizeof(quint32))));
        // A short write is retried for the rest, so a failure shows its cause.
        const char *bytes = reinterpret_cast<const char *>(random.data());
        for (qint64 written = 0; written < n;) {
            const ssize_t w =
                ::pwrite(fd, bytes + written, std::size_t(n - written), done + written);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                throw overwriteFailed(
                    name, w < 0 ? qt_error_string(errno) : QStringLiteral("nothing written"));
            written += w;
        }
        done += n;
    }
    if (::fsync(fd) != 0)
        throw overwriteFailed(name, qt_error_string(errno));
}

// A name that tells nothing about the file, unlikely to be taken.
QByteArray randomName()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray name(16, '\0');
    for (char &c : name)
        c = letters[QRandomGenerator::system()->bounded(int(sizeof letters - 1))];
    return name;
}

// Renames without replacing a file that has the new name; false with errno.
bool renameNew(int folder, const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(folder, from.constData(), folder, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL)
        return false;
    // A file system that cannot refuse to replace: look first.
    struct stat st
    {
    };
    if (::fstatat(folder, to.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::renameat(folder, from.constData(), folder, to.constData()) == 0;
}

// Flushes the folder's names to the device; false with errno. A folder that
// was only opened as a path, or a file system that cannot flush folders,
// counts as flushed: there is nothing more to do there.
bool syncFolder(int folder, bool syncable)
{
    if (!syncable || ::fsync(folder) == 0)
        return true;
    return errno == EINVAL || errno == EROFS;
}

} // namespace

FileWipe::FileWipe(const QString &name)
    : m_name(name)
{
    if (name.isEmpty())
        throw Error(cannotOpen(name));
    const QByteArray path = QFile::encodeName(name);
    // Looked at before anything follows a link or opens it: wiping a link
    // would wipe the file it points to, and opening a FIFO can block.
    struct stat seen
    {
    };
    if (::lstat(path.constData(), &seen) != 0)
        throw Error(cannotOpen(name));
    if (const QString why = notWipeable(name, seen.st_mode); !why.isEmpty())
        throw Error(why);

    // A regular file's path has a last part that is its own name (no
    // trailing slash, no "." or ".."), so folder and name split at the last
    // slash.
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".")
        : slash == 0                    ? QByteArray("/")
                                        : path.left(slash);
    m_base = path.mid(slash + 1);
    m_folder.fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_folder.fd < 0 && errno == EACCES) {
        // A folder we may not list can still have its names changed.
        m_folder.fd = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        m_folderSyncable = false;
    }
    if (m_folder.fd < 0)
        throw Error(cannotOpen(name));
    struct stat inFolder
    {
    };
    if (::fstatat(m_folder.fd, m_base.constData(), &inFolder, AT_SYMLINK_NOFOLLOW) != 0
        || inFolder.st_dev != seen.st_dev || inFolder.st_ino != seen.st_ino)
        throw Error(cannotOpen(name));
    m_device = seen.st_dev;
    m_inode = seen.st_ino;
    m_links = std::max<nlink_t>(inFolder.st_nlink, 1);

    if (const QString why = notDeletable(name, m_folder.fd, seen.st_uid); !why.isEmpty())
        throw Error(why);
    // A file that cannot be opened for reading is not ours to wipe. Only
    // opened: its content is never read.
    const int check = openSame(m_folder.fd, m_base, O_RDONLY, m_device, m_inode, m_links);
    if (check < 0)
        throw Error(cannotOpen(name));
    ::close(check);
    // A file nobody may write to was made read-only on purpose; root could
    // write it all the same.
    if (!(seen.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)))
        throw Error(cannotCreate(name));
}

FileWipe::Descriptor::~Descriptor()
{
    if (fd >= 0)
        ::close(fd);
}

void FileWipe::run()
{
    // A name added since the user was told how many there are is refused
    // too: that name's content was not part of what was agreed to.
    {
        Descriptor file;
        file.fd = openSame(m_folder.fd, m_base, O_WRONLY, m_device, m_inode, m_links);
        if (file.fd < 0)
            throw Error(cannotCreate(m_name));
        overwrite(file.fd, m_name);
    }

    // The old name goes before the file does, and for good (the folder
    // flushed) before the deletion, so it never stands for the file again.
    struct stat now
    {
    };
    if (::fstatat(m_folder.fd, m_base.constData(), &now, AT_SYMLINK_NOFOLLOW) != 0
        || now.st_dev != m_device || now.st_ino != m_inode)
        throw deleteFailed(m_name, QStringLiteral("it was moved or replaced meanwhile"));
    QByteArray hidden;
    for (int attempt = 0;; ++attempt) {
        hidden = randomName();
        if (renameNew(m_folder.fd, m_base, hidden))
            break;
        if (errno != EEXIST || attempt == 10)
            throw deleteFailed(m_name, qt_error_string(errno));
    }
    const auto putBack = [&](int error) {
        ::renameat(m_folder.fd, hidden.constData(), m_folder.fd, m_base.constData());
        return deleteFailed(m_name, qt_error_string(error));
    };
    if (!syncFolder(m_folder.fd, m_folderSyncable))
        throw putBack(errno);
    if (::unlinkat(m_folder.fd, hidden.constData(), 0) != 0)
        throw putBack(errno);
    // The deletion itself need not wait for the device; this only hurries it.
    syncFolder(m_folder.fd, m_folderSyncable);
}

} // namespace editor
