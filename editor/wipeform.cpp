#include "editor/wipeform.h"

#include "assets/assets.h"

#include "cipher/dialogparts.h"
#include "platform/error.h"
#include "platform/richedit.h"
#include "platform/ui.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTextDocument>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace platform;

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

TForm7::TForm7(QWidget *parent)
    : Form(QStringLiteral("TForm7"), QStringLiteral("Wipe File"), QSize(257, 99), parent)
{
    Panel1 = cipher::ui::bevelPanel(this, QRect(0, 0, 257, 99));
    Label1 = new QLabel(QStringLiteral("File Name:"), Panel1);
    Label1->setGeometry(8, 6, 153, 17);
    Edit1 = new QLineEdit(Panel1);
    Edit1->setGeometry(8, 24, 153, 22);
    Label1->setBuddy(Edit1);
    Button1 = new QPushButton(QStringLiteral("Browse..."), Panel1);
    Button1->setGeometry(168, 23, 81, 25);
    Button1->setAutoDefault(false);

    BitBtn1 = cipher::ui::glyphButton(Panel1, QStringLiteral("&Wipe File"),
        assets::icon(QStringLiteral("glyphs/wipe")), QRect(8, 64, 100, 27));
    BitBtn2 = cipher::ui::glyphButton(Panel1, QStringLiteral("&Cancel"),
        assets::icon(QStringLiteral("glyphs/cancel")), QRect(149, 64, 100, 27));

    RichEdit1 = new RichEdit(this);
    // Never shown, so it needs no text layout: a null page size spares it
    // (about a third of the time a file of many short lines takes to read).
    RichEdit1->document()->setPageSize(QSizeF(0, 0));
    RichEdit1->hide();

    OpenDialog1.mode = FileRequest::Mode::Open;
    OpenDialog1.title = QStringLiteral("Wipe File:");

    setTabOrder(Edit1, Button1);
    setTabOrder(Button1, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);

    connect(Button1, &QPushButton::clicked, this, &TForm7::Button1Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm7::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm7::BitBtn2Click);
}

void TForm7::FormActivate()
{
    OpenDialog1.fileName.clear();
}

void TForm7::Button1Click()
{
    if (OpenDialog1.execute())
        Edit1->setText(OpenDialog1.fileName);
}

void TForm7::BitBtn2Click()
{
    done(QDialog::Accepted);
}

void TForm7::BitBtn1Click()
{
    const QString name = Edit1->text();
    const QString warning = QStringLiteral("This will completely erase:\n ") + name
        + QStringLiteral("\n from your harddrive.\n Do you really want to continue?");
    if (messageBox(warning, QStringLiteral("WARNING"), Icon::Error, Buttons::OkCancel)
        != Answer::Ok)
        return;
    if (!guarded([&] { wipe(name); }))
        return;
    Edit1->clear();
    done(QDialog::Accepted);
}

void TForm7::wipe(const QString &name)
{
    BusyCursor busy;
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

    {
        QFile file;
        if (!openSame(file, path, O_RDONLY, QIODevice::ReadOnly, seen))
            throw Error(cannotOpen(name));
        readCheck(name, file);
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

void TForm7::readCheck(const QString &name, QFile &file)
{
    if (file.size() <= kBufferLimit) {
        RichEdit1->loadFromFile(name);
        return;
    }
    RichEdit1->clear();
    std::vector<char> buffer(std::size_t(kChunk), 0);
    for (;;) {
        const qint64 n = file.read(buffer.data(), kChunk);
        if (n < 0)
            throw Error(QStringLiteral("Failed to Load Stream"));
        if (n == 0)
            return;
    }
}
