#pragma once

// Wiping a file: overwriting its whole length with random bytes in place,
// flushing them to the device, then taking the name away (a random name
// first, then none). The content is never read. No window here; the wipe
// window asks first and shows what fails.

#include <QByteArray>
#include <QString>

#include <sys/types.h>

namespace editor {

// One file to wipe, looked at and checked when made; nothing is written
// before run(), so the caller can still ask the user and drop it.
class FileWipe
{
public:
    // Refused here, with document::Error carrying the user's text: an empty
    // name, a name that does not exist, a symbolic link, a folder, a device
    // or other special file (none of these is opened), a file that cannot be
    // opened for reading, a file nobody may write, a file that could not be
    // deleted from its folder afterwards.
    explicit FileWipe(const QString &name);
    FileWipe(const FileWipe &) = delete;
    FileWipe &operator=(const FileWipe &) = delete;

    // The file's names besides this one (hard links). Overwriting in place
    // destroys the content under all of them.
    quint64 otherNames() const { return quint64(m_links) - 1; }

    // Overwrites the file in place, flushes it, renames it to a random name
    // in the same folder, flushes the folder and only then deletes it.
    // Throws document::Error when a step fails; the file keeps its name then.
    void run();

private:
    // Closes the descriptor when it goes, also when the constructor refuses.
    struct Descriptor
    {
        int fd = -1;
        Descriptor() = default;
        Descriptor(const Descriptor &) = delete;
        Descriptor &operator=(const Descriptor &) = delete;
        ~Descriptor();
    };

    QString m_name;
    QByteArray m_base; // the name within its folder
    Descriptor m_folder; // opened once, so every step acts on the same folder
    bool m_folderSyncable = true;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    nlink_t m_links = 1;
};

} // namespace editor
