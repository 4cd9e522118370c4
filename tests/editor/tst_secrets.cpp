// What the program leaves of a secret, seen from outside the process: core
// dumps, a dump of the running process taken with gcore, file modes, the
// clipboard and the X11 selection at the end, vlq's password file.

#include "cipher/hardening.h"
#include "cipher/service.h"
#include "editor/mainwindow.h"
#include "editor/program.h"
#include "gui/richedit.h"
#include "settings/store.h"
#include "settings/values.h"
#include "spelling/windows/spellchecking.h"
#include "tests/support/gnupghome.h"
#include "tests/support/scriptedmodal.h"

#include <QAction>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using editor::MainWindow;
using editor::Program;
using editor::StartupOptions;
using testsupport::Answer;
using testsupport::child;
using testsupport::ScriptedModal;

namespace {

// A secret the test never holds whole: kept masked, typed key by key, and
// unmasked only to look for it in a dump taken before.
class Secret
{
public:
    explicit Secret(int length)
    {
        for (int i = 0; i < length; ++i) {
            const char c = char((i % 2 ? 'a' : 'A') + QRandomGenerator::global()->bounded(26));
            m_masked.append(char(c ^ kMask));
        }
    }
    void typeInto(QWidget *widget) const
    {
        for (const char m : m_masked)
            QTest::keyClick(widget, char(m ^ kMask));
    }
    // The secret in UTF-8 (Latin-1 alike: it is ASCII) and in UTF-16LE.
    QList<QByteArray> encodings() const
    {
        QByteArray narrow, wide;
        for (const char m : m_masked) {
            narrow.append(char(m ^ kMask));
            wide.append(char(m ^ kMask)).append('\0');
        }
        return {narrow, wide};
    }

private:
    static constexpr char kMask = 0x5a;
    QByteArray m_masked;
};

// How often each secret's encodings occur in a dump of this process, as
// "utf8 utf16"; empty when gcore is missing.
QString copiesInDump(const QList<const Secret *> &secrets, const QString &folder)
{
    const QString gcore = QStandardPaths::findExecutable(QStringLiteral("gcore"));
    if (gcore.isEmpty())
        return {};
    // gcore attaches as this process's child; Yama may allow only that.
    ::prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY, 0, 0, 0);
    const QString base = folder + QStringLiteral("/core");
    QProcess dump;
    dump.start(
        gcore, {QStringLiteral("-o"), base, QString::number(QCoreApplication::applicationPid())});
    if (!dump.waitForFinished(120000) || dump.exitCode() != 0)
        qFatal("gcore failed: %s", dump.readAllStandardError().constData());
    const QString file =
        base + QLatin1Char('.') + QString::number(QCoreApplication::applicationPid());
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0)
        qFatal("no dump at %s", qPrintable(file));
    const auto *data = static_cast<const char *>(
        ::mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0));
    QStringList counts;
    for (const Secret *secret : secrets) {
        for (const QByteArray &needle : secret->encodings()) {
            int n = 0;
            const char *at = data;
            const char *const end = data + st.st_size;
            while ((at = static_cast<const char *>(::memmem(
                        at, size_t(end - at), needle.constData(), size_t(needle.size()))))) {
                ++n;
                at += needle.size();
            }
            counts << QString::number(n);
        }
    }
    ::munmap(const_cast<char *>(data), size_t(st.st_size));
    ::close(fd);
    QFile::remove(file);
    return counts.join(QLatin1Char(' '));
}

// Where the secrets lie in this process's own memory (heap, stacks and
// anonymous mappings), with what surrounds them: for a failure to say which
// holder kept a copy.
void reportWhere(const QList<const Secret *> &secrets)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray &line : maps.readAll().split('\n')) {
        // address perms offset device inode [name]: private, readable,
        // anonymous or [heap]/[stack]; never the kernel's [vvar] pages.
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() < 5 || !f[1].startsWith('r') || f[1].endsWith('s') || f[4] != "0"
            || (f.size() > 5 && (!f[5].startsWith('[') || f[5].startsWith("[v"))))
            continue;
        const QList<QByteArray> range = f[0].split('-');
        const auto *from = reinterpret_cast<const char *>(range[0].toULongLong(nullptr, 16));
        const auto *to = reinterpret_cast<const char *>(range[1].toULongLong(nullptr, 16));
        for (const Secret *secret : secrets) {
            for (const QByteArray &needle : secret->encodings()) {
                const char *at = from;
                while ((at = static_cast<const char *>(::memmem(
                            at, size_t(to - at), needle.constData(), size_t(needle.size()))))) {
                    if (at != needle.constData()) {
                        QByteArray around;
                        for (const char *c = std::max(from, at - 64); c < std::min(to, at + 96);
                             ++c)
                            around.append(*c >= 32 && *c < 127 ? *c : '.');
                        qWarning("copy at %p in %s: %s", static_cast<const void *>(at),
                            line.constData(), around.constData());
                    }
                    at += needle.size();
                }
            }
        }
    }
}

// Turns the event loop long enough for what was handed to deleteLater.
void settle()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

// The core limit of a running process, as /proc shows it ("0 0" for none),
// once it is the one wanted (a sanitizer's runtime lowers the soft limit
// by itself first), or as it is after five seconds.
QString coreLimitOf(qint64 pid, const QString &wanted)
{
    QString limit;
    for (int i = 0; i < 500; ++i) {
        QFile file(QStringLiteral("/proc/%1/limits").arg(pid));
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : file.readAll().split('\n'))
                if (line.startsWith("Max core file size"))
                    limit = QString::fromLatin1(line.mid(26).simplified())
                                .section(QLatin1Char(' '), 0, 1);
        }
        if (limit == wanted || wanted.isEmpty())
            return limit;
        QTest::qWait(10);
    }
    return limit;
}

// Starts the program in the folder, lets it set itself up, crashes it with
// SIGSEGV and returns its core limit as it was then.
QString crash(const QString &program, const QStringList &arguments, const QString &folder,
    const QString &wanted)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("VLQ_ALLOW_CORE_DUMPS"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), folder);
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    if (!process.waitForStarted(10000))
        qFatal("could not start %s", qPrintable(program));
    const QString limit = coreLimitOf(process.processId(), wanted);
    ::kill(pid_t(process.processId()), SIGSEGV);
    process.waitForFinished(30000);
    return limit;
}

int coresIn(const QString &folder)
{
    return int(QDir(folder).entryList({QStringLiteral("core*")}, QDir::Files).size());
}

} // namespace

class TestSecrets : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScriptedModal> ui;
    std::unique_ptr<Program> program;
    std::unique_ptr<QTemporaryDir> dir;
    MainWindow *w = nullptr;

    gui::RichEdit *edit() const { return &w->editor(); }
    void trigger(const char *action) { child<QAction>(*w, action).trigger(); }
    void encrypt(const Secret &password, int level)
    {
        ui->onModal(QStringLiteral("TForm2"), [&](QDialog &d) {
            child<QRadioButton>(d,
                level == 3       ? "RadioButton3"
                    : level == 4 ? "RadioButton4"
                                 : "RadioButton5")
                .setChecked(true);
            password.typeInto(&child<QLineEdit>(d, "Edit1"));
            password.typeInto(&child<QLineEdit>(d, "Edit2"));
            child<QPushButton>(d, "BitBtn5").click();
        });
        trigger("Encrypt1");
    }
    void decrypt(const Secret &password)
    {
        ui->onModal(QStringLiteral("TForm3"), [&](QDialog &d) {
            password.typeInto(&child<QLineEdit>(d, "Edit1"));
            child<QPushButton>(d, "BitBtn6").click();
        });
        trigger("Decrypt1");
    }

private slots:
    void init()
    {
        ui = std::make_unique<ScriptedModal>();
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        program = std::make_unique<Program>(QString(), StartupOptions::quiet());
        w = &program->mainWindow();
        QTRY_VERIFY(w->hasStartedUp());
        testsupport::activateWindow(w);
    }
    void cleanup()
    {
        program.reset();
        ui.reset();
        dir.reset();
    }

    // Both programs turn core dumps off and make themselves undumpable
    // before anything else: a crash leaves no core where an ordinary
    // program's lands, and the limit cannot be raised again.
    void noCoreDumps()
    {
        // In a child, so that this test process stays dumpable for the next.
        int fds[2];
        QVERIFY(::pipe(fds) == 0);
        const pid_t child = ::fork();
        if (child == 0) {
            cipher::hardenProcess("test");
            rlimit core {};
            ::getrlimit(RLIMIT_CORE, &core);
            const char result[2] = {char('0' + ::prctl(PR_GET_DUMPABLE)),
                char(core.rlim_cur == 0 && core.rlim_max == 0 ? 'y' : 'n')};
            (void)!::write(fds[1], result, 2);
            ::_exit(0);
        }
        char result[2] = {};
        QCOMPARE(::read(fds[0], result, 2), ssize_t(2));
        ::waitpid(child, nullptr, 0);
        ::close(fds[0]);
        ::close(fds[1]);
        QCOMPARE(QByteArray(result, 2), QByteArray("0y"));

        // Cores as large as they come, for every child.
        rlimit core {};
        ::getrlimit(RLIMIT_CORE, &core);
        core.rlim_cur = core.rlim_max;
        QVERIFY(::setrlimit(RLIMIT_CORE, &core) == 0);
        const QString inherited = coreLimitOf(QCoreApplication::applicationPid(), QString());
        QVERIFY(inherited != QStringLiteral("0 0"));

        const QString bin = qEnvironmentVariable("VLQ_BIN_DIR");
        QFile password(dir->filePath(QStringLiteral("pw")));
        QVERIFY(password.open(QIODevice::WriteOnly) && password.write("pw\n") == 3);
        password.close();
        const QString none = QStringLiteral("0 0");
        QCOMPARE(crash(bin + QStringLiteral("/vlq"),
                     {QStringLiteral("encrypt"), QStringLiteral("--level"), QStringLiteral("1"),
                         QStringLiteral("--password-file"), password.fileName()},
                     dir->path(), none),
            none);
        QCOMPARE(crash(bin + QStringLiteral("/velmorandquist"), {}, dir->path(), none), none);
        QCOMPARE(coresIn(dir->path()), 0);

        // The same crash of an ordinary program shows where cores would be.
        QCOMPARE(
            crash(QStringLiteral("/bin/sleep"), {QStringLiteral("60")}, dir->path(), inherited),
            inherited);
        if (coresIn(dir->path()) == 0) {
            QFile pattern(QStringLiteral("/proc/sys/kernel/core_pattern"));
            pattern.open(QIODevice::ReadOnly);
            QSKIP(qPrintable(QStringLiteral("Core files do not land in the working folder here "
                                            "(core_pattern %1); the limits were checked.")
                                 .arg(QString::fromLocal8Bit(pattern.readAll().trimmed()))));
        }
    }

    // vlq wipes the text and the password before it ends: a dump taken at
    // its very last system call holds neither, whichever way it ran.
    void vlqLeavesNothingAtExit()
    {
        if (!cipher::freedMemoryIsWiped())
            QSKIP("In this build freed memory belongs to the sanitizer's allocator.");
        const QString gdb = QStandardPaths::findExecutable(QStringLiteral("gdb"));
        if (gdb.isEmpty())
            QSKIP("gdb is not installed.");
        const Secret text(24), password(16);
        const auto write = [&](const QString &name, const QByteArray &bytes) {
            QFile file(dir->filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        };
        write(QStringLiteral("pw"), password.encodings()[0] + '\n');
        write(QStringLiteral("plain"), "Meet " + text.encodings()[0] + " at noon.\n");
        const QString vlq = qEnvironmentVariable("VLQ_BIN_DIR") + QStringLiteral("/vlq");
        QString script = QStringLiteral("set pagination off\ncatch syscall exit_group\n");
        const QString pw = dir->filePath(QStringLiteral("pw"));
        for (const QString &run :
            {QStringLiteral("encrypt --level 4 --password-file %1 < %2/plain > %2/block"),
                QStringLiteral("decrypt --password-file %1 < %2/block > %2/out"),
                QStringLiteral("encrypt --level 3 --password-file %1 < %2/plain > %2/block3"),
                QStringLiteral("decrypt --password-file %1 < %2/block3 > %2/out3")}) {
            script += QStringLiteral("run ") + run.arg(pw, dir->path()) + QLatin1Char('\n');
            script += QStringLiteral("gcore %1/vlq.core\nkill\n").arg(dir->path());
            script += QStringLiteral("shell grep -c -a -F -f %1/needles %1/vlq.core >> %1/counts\n")
                          .arg(dir->path());
            script += QStringLiteral("shell rm -f %1/vlq.core\n").arg(dir->path());
        }
        write(
            QStringLiteral("needles"), text.encodings()[0] + '\n' + password.encodings()[0] + '\n');
        write(QStringLiteral("gdb"), script.toLocal8Bit());
        QProcess debugger;
        debugger.start(gdb,
            {QStringLiteral("-batch"), QStringLiteral("-x"), dir->filePath(QStringLiteral("gdb")),
                vlq});
        QVERIFY(debugger.waitForFinished(120000));
        QFile counts(dir->filePath(QStringLiteral("counts")));
        QVERIFY(counts.open(QIODevice::ReadOnly));
        QCOMPARE(counts.readAll().simplified(), QByteArray("0 0 0 0"));
        QFile out(dir->filePath(QStringLiteral("out")));
        QVERIFY(out.open(QIODevice::ReadOnly) && out.readAll().contains(text.encodings()[0]));
    }

    // A decrypted text is saved readable by the user only, whatever the
    // umask, and is kept out of the recent files; the settings too are the
    // user's alone. A plain text is saved as before.
    void decryptedSavesArePrivate()
    {
        const mode_t previous = ::umask(022);
        const auto modeOf = [](const QString &path) {
            struct stat st
            {
            };
            ::stat(QFile::encodeName(path).constData(), &st);
            return QString::number(st.st_mode & 0777, 8);
        };
        const auto saveAs = [&](const QString &path) {
            ui->fileAnswers = {path};
            ui->messages.clear();
            trigger("SaveAs1");
        };
        QTest::keyClicks(edit(), QStringLiteral("plain words"));
        const QString plain = dir->filePath(QStringLiteral("plain.vlq"));
        saveAs(plain);
        QCOMPARE(modeOf(plain), QStringLiteral("644"));
        QCOMPARE(settings::readRecentFiles().value(0), plain);

        const Secret password(12);
        encrypt(password, 3);
        decrypt(password);
        ui->messageAnswers = {Answer::Yes}; // save it unencrypted
        const QString fresh = dir->filePath(QStringLiteral("fresh.vlq"));
        saveAs(fresh);
        QCOMPARE(modeOf(fresh), QStringLiteral("600"));
        QVERIFY(!ui->messageTexts().join(QLatin1Char(' ')).contains(QStringLiteral("other users")));
        // One that others could read becomes private, and the user is told;
        // one that was private already stays as it was, without a word.
        QFile::setPermissions(plain, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        saveAs(plain);
        QCOMPARE(modeOf(plain), QStringLiteral("600"));
        QCOMPARE(ui->messages.size(), 1);
        QVERIFY(ui->messages[0].text.contains(QStringLiteral("could be read by other users")));
        QFile::setPermissions(fresh, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        saveAs(fresh);
        QCOMPARE(modeOf(fresh), QStringLiteral("700"));
        QVERIFY(!ui->messageTexts().join(QLatin1Char(' ')).contains(QStringLiteral("other users")));
        // Neither name is in the recent files; the plain one has gone.
        const QStringList recent = settings::readRecentFiles();
        QVERIFY(!recent.contains(fresh) && !recent.contains(plain));

        const QString store = settings::Store::defaultFilePath();
        QCOMPARE(modeOf(store), QStringLiteral("600"));
        QCOMPARE(modeOf(QFileInfo(store).absolutePath()), QStringLiteral("700"));
        ::umask(previous);
    }

    // At the end, a secret copy leaves the clipboard before the desktop's
    // clipboard manager would be handed it; an ordinary copy stays. A
    // selection of decrypted text never stays in the X11 selection.
    void secretCopiesEndWithTheProgram()
    {
        QClipboard *clipboard = QGuiApplication::clipboard();
        QTest::keyClicks(edit(), QStringLiteral("secret words"));
        const Secret password(12);
        encrypt(password, 3);
        decrypt(password);
        QVERIFY(
            clipboard->supportsSelection() || !qEnvironmentVariableIsSet("VLQ_REQUIRE_SELECTION"));
        if (clipboard->supportsSelection()) {
            edit()->moveCursor(QTextCursor::Start);
            QTest::keyClick(edit(), Qt::Key_End, Qt::ShiftModifier);
            QVERIFY(edit()->textCursor().hasSelection());
            QVERIFY(!clipboard->text(QClipboard::Selection).contains(QStringLiteral("secret")));
        }
        trigger("Copyall");
        QCOMPARE(clipboard->text(), QStringLiteral("secret words"));
        ui->messageAnswers = {Answer::No};
        QVERIFY(w->close());
        QVERIFY(clipboard->text().isEmpty());

        // Not secret: stays for other programs after the end.
        program.reset();
        program = std::make_unique<Program>(QString(), StartupOptions::quiet());
        w = &program->mainWindow();
        QTRY_VERIFY(w->hasStartedUp());
        QTest::keyClicks(edit(), QStringLiteral("ordinary"));
        trigger("Copyall");
        ui->messageAnswers = {Answer::No};
        QVERIFY(w->close());
        QCOMPARE(clipboard->text(), QStringLiteral("ordinary"));
    }

    // After Encrypt, after Decrypt and New (at the strong level, a legacy
    // one and OpenPGP), after Clear All: neither the
    // text nor the password is anywhere in the process, freed memory
    // included. Counted in a dump as "text-utf8 text-utf16 password-utf8
    // password-utf16".
    void nothingLeftInTheProcess()
    {
        if (!cipher::freedMemoryIsWiped())
            QSKIP("In this build freed memory belongs to the sanitizer's allocator.");
        if (QStandardPaths::findExecutable(QStringLiteral("gcore")).isEmpty())
            QSKIP("gcore (Debian's gdb) is not installed.");
        const QString none = QStringLiteral("0 0 0 0");
        const auto copies = [&](const Secret &text, const Secret &password) {
            settle();
            const QString counts = copiesInDump({&text, &password}, dir->path());
            if (counts != none)
                reportWhere({&text, &password});
            return counts;
        };
        // The OpenPGP method hands text and password to GnuPG through GPGME,
        // whose buffers count too.
        testsupport::GnuPGHome gnupg;
        QVERIFY(gnupg.isValid());
        for (const int level : {4, 3, cipher::service::kOpenPgpPassword}) {
            const Secret text(24), password(16);
            // A word the spell checker looks at, with others around it.
            QTest::keyClicks(edit(), QStringLiteral("Meet me at "));
            text.typeInto(edit());
            QTest::keyClicks(edit(), QStringLiteral(" tomorrow."));
            QVERIFY(w->spelling().checksAsYouType());
            QTest::qWait(50);
            encrypt(password, level);
            QVERIFY(edit()->containsMarker());
            QCOMPARE(copies(text, password), none);

            decrypt(password);
            QVERIFY(!edit()->containsMarker());
            ui->messageAnswers = {Answer::No}; // the save question
            trigger("New1");
            QCOMPARE(copies(text, password), none);
        }

        // Clear All of a decrypted text that was copied and selected; a
        // password typed into a dialog that was then cancelled.
        const Secret text(24), password(16), cancelled(16);
        text.typeInto(edit());
        encrypt(password, 4);
        decrypt(password);
        ui->onModal(QStringLiteral("TForm2"), [&](QDialog &d) {
            cancelled.typeInto(&child<QLineEdit>(d, "Edit1"));
            QTest::keyClick(&child<QLineEdit>(d, "Edit1"), Qt::Key_Backspace);
            child<QPushButton>(d, "BitBtn2").click();
        });
        trigger("Encrypt1");
        edit()->selectAll();
        trigger("Copy1");
        ui->messageAnswers = {Answer::No};
        w->clearAll();
        QGuiApplication::clipboard()->clear();
        QCOMPARE(copies(text, password), none);
        settle();
        QCOMPARE(copiesInDump({&cancelled}, dir->path()), QStringLiteral("0 0"));
    }
};

QTEST_MAIN(TestSecrets)
#include "tst_secrets.moc"
