// Program start: the windows in their order, the settings key, the one-shot
// start-up notice and the view options, with a store in a folder of the test's.

#include "editor/commandline.h"
#include "editor/mainwindow.h"
#include "editor/noticewindow.h"
#include "editor/program.h"
#include "gui/richedit.h"
#include "settings/store.h"
#include "settings/values.h"
#include "tests/support/scriptedmodal.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using namespace editor;
using settings::Store;
using testsupport::child;
using testsupport::ScriptedModal;

namespace {

QAction &action(QWidget &window, const char *name)
{
    return child<QAction>(window, name);
}

const QString kKey = settings::programKeyPath();
const QString kStartKey = settings::startKeyPath();
// The notice check comes this soon after start-up in these tests.
constexpr int kNoticeDelay = 10;

StartupOptions withNotice()
{
    StartupOptions o = StartupOptions::quiet();
    o.noticeDelayMs = kNoticeDelay;
    return o;
}

// Something modal, or an event loop, while the windows are made.
int g_creationFaults = 0;
QtMessageHandler g_nextHandler = nullptr;
void countCreationFaults(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (text.contains(QLatin1String("while the program's windows were being made")))
        ++g_creationFaults;
    g_nextHandler(type, context, text);
}
} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<ScriptedModal> ui;

    void useConfig(const QString &path) { qputenv("XDG_CONFIG_HOME", path.toLocal8Bit()); }
    void setStartKey(const QString &value)
    {
        Store store;
        QVERIFY(store.openKey(kStartKey, true));
        store.writeString(QStringLiteral("start_key"), value);
        store.closeKey();
    }
    int noticesShown() const { return int(ui->log.count(QStringLiteral("modal TForm4"))); }
    // Lets the start-up and the notice check run, as the message loop would.
    static void waitForTheTimer(MainWindow *w)
    {
        QTRY_VERIFY_WITH_TIMEOUT(w->hasStartedUp() && !w->noticeTimer().isActive(), 3000);
    }

private slots:
    void initTestCase() { g_nextHandler = qInstallMessageHandler(countCreationFaults); }
    void init()
    {
        home = std::make_unique<QTemporaryDir>();
        useConfig(home->filePath(QStringLiteral("config")));
        ui = std::make_unique<ScriptedModal>();
    }
    void cleanup()
    {
        QCOMPARE(std::exchange(g_creationFaults, 0), 0);
        ui.reset();
        home.reset();
    }

    void windowsAreCreatedInOrder()
    {
        StartupOptions o = StartupOptions::quiet();
        o.showSplash = true; // no wait, but the splash comes and goes
        Program program({}, o);
        QCOMPARE(program.creationLog,
            (QStringList {"TForm5", "TForm1", "TForm7", "TForm9", "TForm11", "TForm10", "TForm4",
                "-TForm5", "TForm2", "TForm3", "TForm6"}));
        QVERIFY(program.mainWindow().isVisible());
        for (const char *hidden :
            {"TForm7", "TForm9", "TForm11", "TForm10", "TForm4", "TForm2", "TForm3", "TForm6"})
            QVERIFY2(!program.window(QLatin1String(hidden))->isVisible(), hidden);
        QCOMPARE(gui::applicationTitle(), QStringLiteral("Velmorandquist"));
        QVERIFY(!QApplication::windowIcon().isNull());
        // The settings key was made at the main window's creation.
        Store store;
        QVERIFY(store.keyExists(kKey));
        QVERIFY(ui->messages.isEmpty());
    }

    void unwritableStoreStillStarts()
    {
        // A folder that cannot exist: its parent is a regular file.
        const QString file = home->filePath(QStringLiteral("plain-file"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        useConfig(file + QStringLiteral("/config"));
        for (int start = 0; start < 2; ++start) {
            ui->log.clear();
            ui->messages.clear();
            Program program({}, withNotice());
            QVERIFY(program.mainWindow().isVisible());
            // Nothing can be read, so the notice shows at every start, after
            // the box that was held back while the windows were made.
            waitForTheTimer(&program.mainWindow());
            QCOMPARE(ui->messages.size(), 1);
            const QStringList lines = ui->messages[0].text.split(u'\n');
            QCOMPARE(lines.first(), QStringLiteral("Failed to create key %1.").arg(kKey));
            QVERIFY(lines.last().startsWith(QStringLiteral("The settings file ") + file));
            QCOMPARE(ui->messages[0].caption, QStringLiteral("Velmorandquist"));
            QCOMPARE(noticesShown(), 1);
            QVERIFY(ui->log.indexOf(QStringLiteral("modal TForm4")) > 0);
        }
    }

    void noticeShowsUnlessTheValueHoldsNo_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("absent");
        QTest::addColumn<int>("shown");
        QTest::newRow("absent") << "" << true << 1;
        QTest::newRow("empty") << "" << false << 1;
        QTest::newRow("no") << "no" << false << 0;
        QTest::newRow("know") << "know" << false << 0;
        QTest::newRow("nothing") << "nothing" << false << 0;
        QTest::newRow("capital No") << "No" << false << 1;
        QTest::newRow("yes") << "yes" << false << 1;
    }
    void noticeShowsUnlessTheValueHoldsNo()
    {
        QFETCH(QString, value);
        QFETCH(bool, absent);
        QFETCH(int, shown);
        if (!absent)
            setStartKey(value);
        Program program({}, withNotice());
        MainWindow *w = &program.mainWindow();
        QCOMPARE(StartupOptions().noticeDelayMs, 1000);
        // Started on the first turn of the loop, when every window exists.
        QVERIFY(!w->noticeTimer().isActive());
        QTRY_VERIFY(w->hasStartedUp());
        waitForTheTimer(w);
        QCOMPARE(w->startKey(), value);
        QCOMPARE(noticesShown(), shown);
        // Once per start: the timer stopped itself.
        QTest::qWait(10 * kNoticeDelay);
        QCOMPARE(noticesShown(), shown);
    }

    void noticeTickedOkIsRemembered()
    {
        {
            ui->onModal(QStringLiteral("TForm4"), [](QDialog &d) {
                child<QCheckBox>(d, "CheckBox1").setChecked(true);
                child<QPushButton>(d, "Button1").click();
            });
            Program program({}, withNotice());
            waitForTheTimer(&program.mainWindow());
            QCOMPARE(noticesShown(), 1);
        }
        {
            // Ticked but closed with the close box: nothing was written
            // then, and the ticked OK before still holds.
            Program program({}, withNotice());
            waitForTheTimer(&program.mainWindow());
            QCOMPARE(noticesShown(), 1);
            QCOMPARE(program.mainWindow().startKey(), QStringLiteral("no"));
        }
    }

    void noticeClosedWithTheCloseBoxComesAgain()
    {
        for (int start = 1; start <= 2; ++start) {
            ui->onModal(QStringLiteral("TForm4"), [](QDialog &d) {
                child<QCheckBox>(d, "CheckBox1").setChecked(true);
                d.reject();
            });
            Program program({}, withNotice());
            waitForTheTimer(&program.mainWindow());
            QCOMPARE(noticesShown(), start);
        }
    }

    void startKeyOfAnotherTypeIsAnError()
    {
        Store().createKey(kStartKey);
        const QString path = Store::defaultFilePath();
        QFile f(path);
        QVERIFY(f.open(QIODevice::Append));
        f.write("start_key = dword 0x00000001\n");
        f.close();
        Program program({}, withNotice());
        waitForTheTimer(&program.mainWindow());
        QCOMPARE(ui->messageTexts(), QStringList {"Invalid data type for 'start_key'."});
        QCOMPARE(noticesShown(), 0);
    }

    void commandLineFileIsLoadedBeforeTheNotice()
    {
        const QString name = home->filePath(QStringLiteral("doc.txt"));
        QFile f(name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("loaded first");
        f.close();
        QByteArray seen;
        MainWindow *w = nullptr;
        ui->onModal(QStringLiteral("TForm4"), [&](QDialog &) { seen = w->editor().text(); });
        Program program(name, withNotice());
        w = &program.mainWindow();
        // Loaded on the first turn of the loop: a window system need not
        // activate the window.
        QCOMPARE(w->editor().text(), QByteArray());
        QTRY_COMPARE(w->editor().text(), QByteArray("loaded first"));
        QCOMPARE(w->statusText(2), name);
        w->editor().setText("edited");
        testsupport::activateWindow(w);
        QCOMPARE(w->editor().text(), QByteArray("edited"));
        w->editor().setText("loaded first");
        waitForTheTimer(w);
        QCOMPARE(noticesShown(), 1);
        QCOMPARE(seen, QByteArray("loaded first"));
        // Returning from the notice does not load it again.
        QCOMPARE(w->editor().text(), QByteArray("loaded first"));
    }

    // Whatever asks for a box while the windows are made: a plain box waits
    // for them all to exist, anything else is refused unseen and reported.
    void nothingModalRunsWhileTheWindowsAreMade()
    {
        QList<gui::MessageRequest> held;
        {
            gui::CreationScope creating;
            QVERIFY(gui::creatingWindows());
            {
                gui::CreationScope inner; // what an inner scope holds goes to the outer one
                gui::showError(QStringLiteral("Held back"));
            }
            const QRegularExpression fault(
                QStringLiteral("while the program's windows were being made"));
            QTest::ignoreMessage(QtCriticalMsg, fault);
            QCOMPARE(gui::messageBox(QStringLiteral("Save?"), QStringLiteral("SAVE CHANGES?"),
                         gui::Icon::Question, gui::Buttons::YesNoCancel),
                gui::Answer::Cancel);
            NoticeWindow notice;
            QTest::ignoreMessage(QtCriticalMsg, fault);
            QCOMPARE(notice.showModal(), 0);
            QVERIFY(!notice.isVisible());
            QTimer::singleShot(0, [] {});
            QTest::ignoreMessage(QtCriticalMsg, fault);
            QCoreApplication::processEvents();
            QVERIFY(ui->log.isEmpty());
            held = creating.takeHeld();
            QVERIFY(creating.takeHeld().isEmpty());
        }
        QVERIFY(!gui::creatingWindows());
        QCOMPARE(std::exchange(g_creationFaults, 0), 3);
        QCOMPARE(held.size(), 1);
        QCOMPARE(held[0].text, QStringLiteral("Held back."));
        QCOMPARE(held[0].caption, QStringLiteral("Velmorandquist"));
        QVERIFY(ui->log.isEmpty());
    }

    // Started with a file that cannot be opened, the notice due and every box
    // left open well past the notice's time: the boxes come one after the
    // other once every window exists, the notice last, and the program lives.
    void commandLineFileThatCannotBeOpened_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char *kind : {"missing", "folder", "fifo", "unreadable"})
            QTest::newRow(kind) << QString::fromLatin1(kind);
    }
    void commandLineFileThatCannotBeOpened()
    {
        QFETCH(QString, kind);
        QString name = home->filePath(QStringLiteral("moved-away.vlq"));
        if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(name));
        } else if (kind == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(name).constData(), 0600), 0);
        } else if (kind == QLatin1String("unreadable")) {
            if (::geteuid() == 0) {
                name = QStringLiteral(
                    "/proc/self/mem"); // a regular file whose first read fails, for root too
            } else {
                QFile f(name);
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write("secret");
                f.close();
                QVERIFY(f.setPermissions({}));
            }
        }
        // With the settings unwritable too, a box is held back during creation.
        if (kind == QLatin1String("missing"))
            useConfig(QStringLiteral("/proc/version/config"));
        ui->messageOpenMs = 30 * kNoticeDelay;
        QString noticeSaw;
        ui->onModal(QStringLiteral("TForm4"), [&](QDialog &) { noticeSaw = ui->log.join(u'|'); });
        Program program(name, withNotice());
        MainWindow &w = program.mainWindow();
        waitForTheTimer(&w);
        QVERIFY(w.isVisible());
        QCOMPARE(noticesShown(), 1);
        QStringList texts = ui->messageTexts();
        if (kind == QLatin1String("missing")) {
            QVERIFY(texts.first().startsWith(QStringLiteral("Failed to create key ")));
            texts.removeFirst();
        }
        QCOMPARE(texts.size(), 1);
        // A file that opens but cannot be read fails later, on its reading.
        QVERIFY2(texts[0].startsWith(QStringLiteral("Cannot open file %1").arg(name))
                || (kind == QLatin1String("unreadable")
                    && texts[0] == QLatin1String("Failed to Load Stream.")),
            qPrintable(texts[0]));
        // The notice came after every box was answered.
        QCOMPARE(noticeSaw.count(QLatin1String("message ")), ui->messages.size());
        QCOMPARE(w.editor().text(), QByteArray());
        QCOMPARE(w.statusText(2), QStringLiteral(" Encryption by Qumo"));
        QVERIFY(!w.isModified());
    }

    // The command line, read before Qt: our options answer alone, Qt's pass
    // through with their values, anything else is an error.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected"); // "run FILE", "help", "version" or "error TEXT"
        QTest::newRow("nothing") << QStringList {} << "run ";
        QTest::newRow("file") << QStringList {"a.vlq"} << "run a.vlq";
        QTest::newRow("qt options around") << QStringList {"-platform", "offscreen", "a.vlq",
            "--style", "fusion", "-style=fusion", "-reverse", "-qwindowtitle", "-x"}
                                           << "run a.vlq";
        QTest::newRow("dash file") << QStringList {"--", "-a.vlq"} << "run -a.vlq";
        QTest::newRow("stdin name") << QStringList {"-"} << "run -";
        QTest::newRow("help") << QStringList {"-h"} << "help";
        QTest::newRow("version") << QStringList {"--version"} << "version";
        QTest::newRow("unknown") << QStringList {"--bogus"} << "error unknown option '--bogus'";
        QTest::newRow("unknown after file")
            << QStringList {"a.vlq", "-x"} << "error unknown option '-x'";
        QTest::newRow("no inline platform")
            << QStringList {"-platform=xcb"} << "error unknown option '-platform=xcb'";
        QTest::newRow("value missing")
            << QStringList {"-platform"} << "error option '-platform' needs a value";
        QTest::newRow("two files") << QStringList {"My", "Letter.vlq"}
                                   << "run  warning more than one file named ('My' 'Letter.vlq'), "
                                      "so none is opened; quote a name that holds a blank";
        QTest::newRow("unknown after two files")
            << QStringList {"a", "b", "--bogus"} << "error unknown option '--bogus'";
        QTest::newRow("help and more")
            << QStringList {"--help", "a"} << "error '--help' takes nothing else";
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        std::vector<QByteArray> bytes {"velmorandquist"};
        for (const QString &a : arguments)
            bytes.push_back(a.toLocal8Bit());
        std::vector<const char *> argv;
        for (const QByteArray &b : bytes)
            argv.push_back(b.constData());
        const CommandLine line = parseCommandLine(int(argv.size()), argv.data());
        const char *const names[] = {"run ", "help", "version", "error "};
        const QString got = QString::fromLatin1(names[int(line.action)])
            + QString::fromLocal8Bit(
                line.action == CommandLine::Action::Error ? line.error : line.file)
            + (line.warning.empty() ? QString()
                                    : " warning " + QString::fromStdString(line.warning));
        QCOMPARE(got, expected);
    }

    // --- View options --------------------------------------------------------

    void toolbarRowsFollowTheTwoTicks()
    {
        Program program({}, StartupOptions::quiet());
        MainWindow *w = &program.mainWindow();
        const auto rows = [w] {
            return QString::fromLatin1("%1%2")
                .arg(w->captionRow().isVisible() ? '3' : '-')
                .arg(w->pictureRow().isVisible() ? '1' : '-');
        };
        QCOMPARE(rows(), QStringLiteral("3-"));
        const int editorHeight = w->editor().height();
        action(*w, "ShowButtonText1").trigger();
        QCOMPARE(rows(), QStringLiteral("-1"));
        QVERIFY(!action(*w, "ShowButtonText1").isChecked());
        QApplication::processEvents();
        QCOMPARE(w->editor().height(), editorHeight + 14);
        // Hide, choose captions while hidden, show: the row with captions.
        action(*w, "ShowToolBar1").trigger();
        QCOMPARE(rows(), QStringLiteral("--"));
        action(*w, "ShowButtonText1").trigger();
        QCOMPARE(rows(), QStringLiteral("--"));
        QVERIFY(action(*w, "ShowButtonText1").isChecked());
        action(*w, "ShowButtonText1").trigger();
        action(*w, "ShowToolBar1").trigger();
        QCOMPARE(rows(), QStringLiteral("-1"));
        QVERIFY(action(*w, "ShowToolBar1").isChecked());
        // Every sequence of the two toggles keeps at most one row visible,
        // the one the ticks choose.
        for (int i = 0; i < 64; ++i) {
            action(*w, i * 7 % 3 ? "ShowToolBar1" : "ShowButtonText1").trigger();
            const bool bar = action(*w, "ShowToolBar1").isChecked();
            const bool text = action(*w, "ShowButtonText1").isChecked();
            QCOMPARE(w->captionRow().isVisible(), bar && text);
            QCOMPARE(w->pictureRow().isVisible(), bar && !text);
        }
    }

    void wordWrapFontAndBackground()
    {
        Program program({}, StartupOptions::quiet());
        MainWindow *w = &program.mainWindow();
        QVERIFY(w->editor().wordWrap());
        action(*w, "WordWrap1").trigger();
        QVERIFY(!action(*w, "WordWrap1").isChecked());
        QVERIFY(!w->editor().wordWrap());
        action(*w, "WordWrap1").trigger();
        QVERIFY(w->editor().wordWrap());

        // The font dialog shows the start font, then the one last chosen.
        QFont chosen(QStringLiteral("DejaVu Serif"), 14);
        chosen.setItalic(true);
        ui->fontAnswers << gui::FontChoice {chosen, QColor(Qt::darkRed)};
        action(*w, "Colors1").trigger();
        QCOMPARE(ui->fontRequests[0].font.pointSize(), 8);
        QCOMPARE(w->editor().document()->defaultFont().pointSize(), 14);
        QVERIFY(w->editor().document()->defaultFont().italic());
        QCOMPARE(w->editor().palette().color(QPalette::Text), QColor(Qt::darkRed));
        action(*w, "Colors1").trigger(); // cancelled
        QCOMPARE(ui->fontRequests[1].font.pointSize(), 14);
        QCOMPARE(w->editor().document()->defaultFont().pointSize(), 14);
        QVERIFY(!w->isModified());

        // Background: the colour dialog starts at black, then the last one.
        ui->colorAnswers << QColor(Qt::yellow);
        action(*w, "Color1").trigger();
        QCOMPARE(ui->colorRequests[0], QColor(Qt::black));
        QCOMPARE(w->editor().palette().color(QPalette::Base), QColor(Qt::yellow));
        action(*w, "Color1").trigger();
        QCOMPARE(ui->colorRequests[1], QColor(Qt::yellow));
        QCOMPARE(w->editor().palette().color(QPalette::Base), QColor(Qt::yellow));

        // Nothing of the view outlives the run.
        Program again({}, StartupOptions::quiet());
        QVERIFY(action(again.mainWindow(), "WordWrap1").isChecked());
        QCOMPARE(again.mainWindow().editor().document()->defaultFont().pointSize(), 8);
    }

    void helpAndAbout()
    {
        Program program({}, StartupOptions::quiet());
        MainWindow *w = &program.mainWindow();
        action(*w, "About1").trigger();
        action(*w, "About1").trigger();
        QCOMPARE(ui->log.count(QStringLiteral("modal TForm6")), 2);
        action(*w, "N1").trigger();
        QVERIFY(ui->messages.isEmpty());
        QVERIFY(w->isVisible());
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
