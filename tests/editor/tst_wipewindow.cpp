// The file wiper on real files in a temporary folder, its warnings and the
// browse dialog answered by a script; what it does to the folder's names as
// the kernel reports it (inotify).

#include "editor/filewiper.h"
#include "editor/wipewindow.h"
#include "tests/support/files.h"
#include "tests/support/scriptedmodal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;
using editor::WipeWindow;

using gui::Answer;
using gui::Buttons;
using gui::Icon;
using testsupport::ScriptedModal;

namespace {

// Bytes that look like a file's content, not like random bytes.
QByteArray textOf(qsizetype size)
{
    QByteArray bytes;
    bytes.reserve(size);
    while (bytes.size() < size)
        bytes.append(QByteArray::number(bytes.size()) + ' ');
    bytes.truncate(size);
    return bytes;
}

qsizetype sameBytes(const QByteArray &a, const QByteArray &b)
{
    qsizetype same = 0;
    for (qsizetype i = 0; i < qMin(a.size(), b.size()); ++i)
        same += a[i] == b[i];
    return same;
}

bool exists(const QString &name)
{
    struct stat st
    {
    };
    return ::lstat(QFile::encodeName(name).constData(), &st) == 0;
}

// Sets or clears the flag that keeps names in a folder from being removed;
// false where the file system or our rights do not allow it.
bool setImmutable(const QString &folder, bool on)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

// What happens to the names in a folder, in order: "open NAME", "read NAME",
// "write NAME", "from NAME", "to NAME", "delete NAME" (the kernel counts
// repeats of one event once).
class FolderWatch
{
public:
    explicit FolderWatch(const QString &folder)
        : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        ::inotify_add_watch(m_fd, QFile::encodeName(folder).constData(),
            IN_OPEN | IN_ACCESS | IN_MODIFY | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE);
    }
    ~FolderWatch() { ::close(m_fd); }
    QStringList events()
    {
        alignas(inotify_event) char buffer[64 * 1024];
        QStringList seen;
        for (ssize_t n; (n = ::read(m_fd, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < n;) {
                const auto *e = reinterpret_cast<const inotify_event *>(buffer + at);
                at += ssize_t(sizeof(inotify_event) + e->len);
                if (e->len == 0)
                    continue; // the folder itself
                const char *kind = e->mask & IN_OPEN ? "open"
                    : e->mask & IN_ACCESS            ? "read"
                    : e->mask & IN_MODIFY            ? "write"
                    : e->mask & IN_MOVED_FROM        ? "from"
                    : e->mask & IN_MOVED_TO          ? "to"
                                                     : "delete";
                seen << QString::fromLatin1(kind) + ' ' + QFile::decodeName(e->name);
            }
        }
        return seen;
    }

private:
    int m_fd;
};

} // namespace

class TestWipeWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScriptedModal> ui;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<WipeWindow> form;

    QString path(const QString &name) const { return dir->filePath(name); }
    template<typename T = QPushButton> T *control(const char *name) const
    {
        return &child<T>(*form, name);
    }

    struct Shown
    {
        int result = -1;
        bool openAfter = false; // still shown when the script's clicks were done
        QString nameAfter;
    };
    // Shows the window modally and, inside it, types the name (unless null)
    // and presses Wipe File; the warnings get the answers.
    Shown wipe(const QString &name, const QList<Answer> &answers = {Answer::Ok})
    {
        ui->messageAnswers << answers;
        Shown shown;
        ui->onModal(QStringLiteral("TForm7"), [&](QDialog &) {
            if (!name.isNull())
                control<QLineEdit>("Edit1")->setText(name);
            control("BitBtn1")->click();
            shown.openAfter = form->isVisible();
            shown.nameAfter = control<QLineEdit>("Edit1")->text();
        });
        shown.result = form->showModal();
        return shown;
    }
    QString warningFor(const QString &name) const
    {
        return "This will completely erase:\n " + name
            + "\n from your harddrive.\n Do you really want to continue?";
    }
    // The error box's text after the warning, or an empty text.
    QString errorShown() const
    {
        if (ui->messages.size() < 2)
            return {};
        const gui::MessageRequest &m = ui->messages.at(1);
        if (m.caption != "Velmorandquist" || m.icon != Icon::Error || m.buttons != Buttons::Ok)
            return QStringLiteral("<not the error box: %1>").arg(m.caption);
        return m.text;
    }

private slots:
    void initTestCase() { gui::setApplicationTitle(QStringLiteral("Velmorandquist")); }
    void init()
    {
        ui = std::make_unique<ScriptedModal>();
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        form = std::make_unique<WipeWindow>();
    }
    void cleanup()
    {
        QCOMPARE(ui->busyDepth(), 0);
        form.reset();
        ui.reset();
        dir.reset();
    }

    void window()
    {
        QCOMPARE(form->objectName(), "TForm7");
        QCOMPARE(form->windowTitle(), "Wipe File");
        QCOMPARE(form->size(), QSize(257, 99));
        QVERIFY(control<QLineEdit>("Edit1")->text().isEmpty());
        QCOMPARE(control<QLineEdit>("Edit1")->width(), 153);
        QCOMPARE(control<QLabel>("Label1")->text(), "File Name:");
        QCOMPARE(control("Button1")->text(), "Browse...");
        QCOMPARE(control("BitBtn1")->text(), "&Wipe File");
        QCOMPARE(control("BitBtn2")->text(), "&Cancel");
        QVERIFY(!control("BitBtn1")->icon().isNull());
        QVERIFY(!control("BitBtn2")->icon().isNull());
        // Wipe File lower left, Cancel lower right.
        QVERIFY(control("BitBtn1")->geometry().right() < control("BitBtn2")->geometry().left());
        QVERIFY(control("BitBtn1")->geometry().top()
            > control<QLineEdit>("Edit1")->geometry().bottom());
        // Nothing in it could hold a file's content.
        QVERIFY(form->findChildren<QTextEdit *>().isEmpty());
    }

    void warningCancelChangesNothing()
    {
        const QString name = path("letter.txt");
        QVERIFY(writeFile(name, "Dear Sir,\r\nthe plans are in the shed.\r\n"));
        const Shown shown = wipe(name, {Answer::Cancel});
        QCOMPARE(ui->messages.size(), 1);
        const gui::MessageRequest &m = ui->messages.at(0);
        QCOMPARE(m.text, warningFor(name));
        QCOMPARE(m.caption, "WARNING");
        QCOMPARE(m.icon, Icon::Error);
        QCOMPARE(m.buttons, Buttons::OkCancel);
        QVERIFY(shown.openAfter);
        QCOMPARE(shown.nameAfter, name);
        QCOMPARE(fileBytes(name), "Dear Sir,\r\nthe plans are in the shed.\r\n");
        QVERIFY(!ui->log.contains("busy"));
    }

    void wipeOverwritesInPlaceRenamesThenDeletes_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<qint64>("sparseSize"); // 0, or the content then zeros up to this
        QTest::addColumn<int>("otherNames");
        QTest::newRow("plain text") << QByteArray("Meet me at noon.\r\nBring the key.") << 0ll << 1;
        QTest::newRow("no other name") << QByteArray("Secret plan") << 0ll << 0;
        QTest::newRow("empty") << QByteArray() << 0ll << 1;
        QTest::newRow("binary, two other names")
            << QByteArray("\x00\x01\xff\xfe\x00\x7f", 6) << 0ll << 2;
        // Past a chunk, ending off a word boundary.
        QTest::newRow("over a chunk") << textOf(1024 * 1024 * 2 + 3) << 0ll << 1;
        // Its holes are overwritten too.
        QTest::newRow("sparse 20 MB") << QByteArray("text at the start") << 20ll * 1024 * 1024 << 1;
    }
    void wipeOverwritesInPlaceRenamesThenDeletes()
    {
        QFETCH(QByteArray, content);
        QFETCH(qint64, sparseSize);
        QFETCH(int, otherNames);
        const QString name = path("victim.txt");
        QVERIFY(writeFile(name, content));
        if (sparseSize > 0) {
            QVERIFY(QFile::resize(name, sparseSize));
            content.resize(sparseSize, '\0');
        }
        // Other names for the same file show what its blocks hold afterwards.
        QStringList others;
        for (int i = 1; i <= otherNames; ++i) {
            others << path(QStringLiteral("other-name-%1").arg(i));
            QCOMPARE(::link(QFile::encodeName(name).constData(),
                         QFile::encodeName(others.last()).constData()),
                0);
        }
        FolderWatch watch(dir->path());

        const Shown shown = wipe(name, {Answer::Ok, Answer::Ok});

        QCOMPARE(ui->messages.size(), otherNames > 0 ? 2 : 1); // the warnings only
        if (otherNames > 0)
            QVERIFY(ui->messages.at(1).text.contains(
                QStringLiteral("has %1 other name").arg(otherNames)));
        QCOMPARE(shown.result, int(QDialog::Accepted));
        QVERIFY(!shown.openAfter);
        QVERIFY(shown.nameAfter.isEmpty());
        QVERIFY(!exists(name));

        // Opened (never read), overwritten, renamed in its folder and only
        // then deleted under the new name.
        const QStringList events = watch.events();
        const QString hidden = events.value(events.size() - 1).mid(7);
        QStringList expected {"open victim.txt"};
        if (!content.isEmpty())
            expected << "write victim.txt";
        expected << "from victim.txt"
                 << "to " + hidden << "delete " + hidden;
        QCOMPARE(events, expected);
        QCOMPARE(hidden.size(), 16);
        // Nothing else left in the folder.
        QCOMPARE(
            QDir(dir->path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                .size(),
            otherNames);

        for (const QString &o : others) {
            const QByteArray after = fileBytes(o);
            QCOMPARE(after.size(), content.size());
            // Random bytes match the old ones about once in 256.
            QVERIFY2(sameBytes(after, content) <= content.size() / 64 + 2,
                qPrintable(QString::number(sameBytes(after, content))));
        }
    }

    void otherNamesWarningCancelWritesNothing()
    {
        const QString name = path("shared.txt");
        const QString other = path("shared-too.txt");
        QVERIFY(writeFile(name, "both names see this"));
        QCOMPARE(
            ::link(QFile::encodeName(name).constData(), QFile::encodeName(other).constData()), 0);
        FolderWatch watch(dir->path());

        const Shown shown = wipe(name, {Answer::Ok, Answer::Cancel});

        QCOMPARE(ui->messages.size(), 2);
        QCOMPARE(ui->messages.at(1).caption, "WARNING");
        QCOMPARE(ui->messages.at(1).text,
            "The file\n " + name
                + "\n has 1 other name (a hard link).\n Wiping it destroys the content under "
                  "that name too.\n Do you really want to continue?");
        QVERIFY(shown.openAfter);
        QCOMPARE(shown.nameAfter, name);
        QVERIFY(!ui->log.contains("busy"));
        // Only the check that it can be opened: no read, no write, no rename.
        const QStringList events = watch.events();
        QVERIFY2(events == QStringList({"open shared.txt"}), qPrintable(events.join(", ")));
        QCOMPARE(fileBytes(name), "both names see this");
        QCOMPARE(fileBytes(other), "both names see this");

        // The real box for that request: Enter and Escape both answer Cancel.
        const gui::MessageRequest asked = ui->messages.at(1);
        ui.reset();
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
            int polls = 0;
            QTimer press;
            connect(&press, &QTimer::timeout, [&] {
                for (QWidget *w : QApplication::topLevelWidgets()) {
                    auto *box = qobject_cast<QMessageBox *>(w);
                    if (!box || !box->isVisible())
                        continue;
                    if (++polls > 200) // never leave a real box waiting
                        box->done(QMessageBox::Ok);
                    else
                        QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, key);
                }
            });
            press.start(10);
            QCOMPARE(gui::modal().message(asked), Answer::Cancel);
            QVERIFY(polls <= 200);
        }
        ui = std::make_unique<ScriptedModal>();
    }

    void relativeNameIsTakenFromTheCurrentFolder()
    {
        const QString before = QDir::currentPath();
        const auto back = qScopeGuard([&] { QDir::setCurrent(before); });
        QVERIFY(QDir::setCurrent(dir->path()));
        QVERIFY(writeFile(path("notes.txt"), "notes"));
        QVERIFY(!wipe("notes.txt").openAfter);
        QVERIFY(!exists(path("notes.txt")));
    }

    void readOnlyFileIsUntouched()
    {
        const QString name = path("keep.txt");
        QVERIFY(writeFile(name, "keep me"));
        QVERIFY(
            QFile::setPermissions(name, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        const Shown shown = wipe(name);
        QCOMPARE(errorShown(), "Cannot create file " + name + ".");
        QVERIFY(shown.openAfter);
        QCOMPARE(shown.nameAfter, name);
        QCOMPARE(fileBytes(name), "keep me");
        struct stat st
        {
        };
        QCOMPARE(::stat(QFile::encodeName(name).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, 0444u);
    }

    void notAFileIsRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("why");
        QTest::newRow("link to a file") << "link"
                                        << "it is a symbolic link";
        QTest::newRow("dangling link") << "dangling"
                                       << "it is a symbolic link";
        QTest::newRow("link to a folder") << "folderlink"
                                          << "it is a symbolic link";
        QTest::newRow("folder") << "folder"
                                << "it is a folder";
        QTest::newRow("fifo") << "fifo"
                              << "it is a device or other special file";
        QTest::newRow("device") << "/dev/null"
                                << "it is a device or other special file";
    }
    void notAFileIsRefused()
    {
        QFETCH(QString, name);
        QFETCH(QString, why);
        const QString target = path("target.txt");
        QVERIFY(writeFile(target, "the real file"));
        QVERIFY(QDir(dir->path()).mkdir("folder"));
        QVERIFY(QFile::link(target, path("link")));
        QVERIFY(QFile::link(path("nowhere"), path("dangling")));
        QVERIFY(QFile::link(path("folder"), path("folderlink")));
        QCOMPARE(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
        // Open at both ends, so a wiper that opened the FIFO could not hang.
        const int fifo = ::open(QFile::encodeName(path("fifo")).constData(), O_RDWR | O_NONBLOCK);
        QVERIFY(fifo >= 0);
        const auto closeFifo = qScopeGuard([&] { ::close(fifo); });
        if (!name.startsWith('/'))
            name = path(name);
        FolderWatch watch(dir->path());

        const Shown shown = wipe(name);

        // Refused on sight: neither it nor what it points to was opened.
        QCOMPARE(watch.events(), QStringList());

        QVERIFY2(
            errorShown().startsWith("Cannot wipe " + name + ": " + why), qPrintable(errorShown()));
        QVERIFY(errorShown().endsWith('.'));
        QVERIFY(shown.openAfter);
        QCOMPARE(shown.nameAfter, name);
        QCOMPARE(fileBytes(target), "the real file");
        QVERIFY(QFileInfo(path("link")).isSymLink());
        QVERIFY(QFileInfo(path("dangling")).isSymLink());
        QVERIFY(QFileInfo(path("folderlink")).isSymLink());
        QVERIFY(QFileInfo(path("folder")).isDir());
        QVERIFY(exists(path("fifo")));
        QVERIFY(exists("/dev/null"));
    }

    void cannotOpen_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("empty") << QString("");
        QTest::newRow("missing") << QString("missing.txt");
        QTest::newRow("missing folder") << QString("no/such/folder/file.txt");
    }
    void cannotOpen()
    {
        QFETCH(QString, name);
        if (!name.isEmpty())
            name = path(name);
        const Shown shown = wipe(name);
        QCOMPARE(ui->messages.at(0).text, warningFor(name));
        QCOMPARE(errorShown(), "Cannot open file " + name + ".");
        QCOMPARE(ui->messages.size(), 2);
        QVERIFY(shown.openAfter);
        QCOMPARE(shown.nameAfter, name);
    }

    void writeFailingHalfWayKeepsTheFile()
    {
        // A file size limit makes writes past it fail as a full disk would.
        const QString name = path("big.bin");
        const QByteArray content = textOf(3 * 1024 * 1024);
        QVERIFY(writeFile(name, content));
        const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
        rlimit old {};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
        rlimit limited = old;
        limited.rlim_cur = 1536 * 1024;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
        Shown shown;
        {
            const auto restore = qScopeGuard([&] {
                ::setrlimit(RLIMIT_FSIZE, &old);
                std::signal(SIGXFSZ, oldSignal);
            });
            shown = wipe(name);
        }
        QVERIFY2(errorShown().startsWith("Failed to overwrite file " + name + " ("),
            qPrintable(errorShown()));
        QVERIFY(errorShown().endsWith("); it was not deleted."));
        QVERIFY(shown.openAfter);
        QCOMPARE(shown.nameAfter, name);
        const QByteArray after = fileBytes(name);
        QCOMPARE(after.size(), content.size());
        // Overwritten up to the limit, the rest as it was.
        QVERIFY(sameBytes(after.first(1024 * 1024), content.first(1024 * 1024)) < 64 * 1024);
        QCOMPARE(after.sliced(1536 * 1024), content.sliced(1536 * 1024));
    }

    void undeletableFileIsNotTouched()
    {
        const QString name = path("stuck/file.txt");
        QVERIFY(QDir(dir->path()).mkdir("stuck"));
        QVERIFY(writeFile(name, textOf(100)));
        const QString folder = path("stuck");
        std::function<void()> undo;
        if (::geteuid() != 0) {
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
            undo = [=] {
                QFile::setPermissions(
                    folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            };
        } else if (setImmutable(folder, true)) {
            undo = [=] { setImmutable(folder, false); };
        } else {
            QSKIP("cannot keep root from deleting here");
        }
        const auto descriptors = [] { return QDir("/proc/self/fd").count(); };
        const uint before = descriptors();
        Shown shown;
        {
            const auto restore = qScopeGuard(undo);
            shown = wipe(name);
        }
        QCOMPARE(descriptors(), before); // the folder's is closed again
        // Refused before anything is written: the file stays as it was.
        QVERIFY2(errorShown().startsWith(
                     "Cannot wipe " + name + ": it could not be deleted from its folder"),
            qPrintable(errorShown()));
        QVERIFY(shown.openAfter);
        QCOMPARE(shown.nameAfter, name);
        QCOMPARE(fileBytes(name), textOf(100));
    }

    void fileWipeWithoutTheWindow()
    {
        // Made, it only looks; a refusal comes then, before anything is opened.
        const QString name = path("direct.txt");
        QVERIFY(writeFile(name, "direct"));
        QVERIFY(QFile::link(name, path("direct-link")));
        QCOMPARE(editor::FileWipe(name).otherNames(), 0u);
        QCOMPARE(fileBytes(name), "direct");
        QVERIFY(errorOf([&] { editor::FileWipe(path("direct-link")); }).contains("symbolic link"));
        editor::FileWipe(name).run();
        QVERIFY(!exists(name));
    }

    void browse()
    {
        QVERIFY(writeFile(path("chosen.txt"), "x"));
        QStringList names;
        ui->fileAnswers << std::nullopt << path("chosen.txt");
        ui->onModal(QStringLiteral("TForm7"), [&](QDialog &) {
            control<QLineEdit>("Edit1")->setText("typed");
            control("Button1")->click(); // cancelled
            names << control<QLineEdit>("Edit1")->text();
            control("Button1")->click();
            names << control<QLineEdit>("Edit1")->text();
        });
        form->showModal();
        QCOMPARE(names, QStringList({"typed", QFileInfo(path("chosen.txt")).absoluteFilePath()}));
        QCOMPARE(ui->fileRequests.size(), 2);
        const gui::FileRequest &r = ui->fileRequests.at(0);
        QCOMPARE(r.mode, gui::FileRequest::Mode::Open);
        QCOMPARE(r.title, "Wipe File:");
        QVERIFY(r.filter.isEmpty());
        QVERIFY(r.defaultSuffix.isEmpty());
        QVERIFY(r.initialDir.isEmpty());
        QVERIFY(r.proposedName.isEmpty());
        QVERIFY(ui->messages.isEmpty());
        QCOMPARE(fileBytes(path("chosen.txt")), "x");
    }

    void nameKeptBetweenUses_data()
    {
        QTest::addColumn<bool>("closeBox");
        QTest::newRow("Cancel") << false;
        QTest::newRow("close box") << true;
    }
    void nameKeptBetweenUses()
    {
        QFETCH(bool, closeBox);
        const QString chosen = path("kept.txt");
        QVERIFY(writeFile(chosen, "kept"));
        ui->fileAnswers << chosen << chosen;
        ui->onModal(QStringLiteral("TForm7"), [&](QDialog &) {
            control("Button1")->click();
            if (closeBox)
                form->close();
            else
                control("BitBtn2")->click();
        });
        const int first = form->showModal();
        QCOMPARE(first, closeBox ? int(QDialog::Rejected) : int(QDialog::Accepted));
        QVERIFY(!form->isVisible());

        QString shownName;
        ui->onModal(QStringLiteral("TForm7"), [&](QDialog &) {
            shownName = control<QLineEdit>("Edit1")->text();
            control("Button1")->click();
        });
        form->showModal();
        QCOMPARE(shownName, chosen);
        QCOMPARE(ui->fileRequests.size(), 2);
        QVERIFY(ui->fileRequests.at(1).proposedName.isEmpty());
        QCOMPARE(fileBytes(chosen), "kept");
        QVERIFY(ui->messages.isEmpty());
    }
};

QTEST_MAIN(TestWipeWindow)
#include "tst_wipewindow.moc"
