// Program start: the windows in their order, the settings key, the one-shot
// start-up notice and the view options, with a store in a folder of the test's.

#include "editor/mainwindow.h"
#include "editor/noticeform.h"
#include "editor/program.h"
#include "platform/richedit.h"
#include "platform/scriptedui.h"
#include "platform/settingsstore.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

using platform::ScriptedUi;
using platform::SettingsStore;

namespace {
const QString kKey = QStringLiteral("\\software\\Qumo\\Velmorandquist");
const QString kStartKey =
    QStringLiteral("\\software\\Qumo\\Velmorandquist\\environment\\start_key");

StartupOptions withNotice()
{
    StartupOptions o = StartupOptions::quiet();
    o.noticeTimer = true;
    return o;
}
} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<ScriptedUi> ui;

    void useConfig(const QString &path) { qputenv("XDG_CONFIG_HOME", path.toLocal8Bit()); }
    void setStartKey(const QString &value)
    {
        SettingsStore store;
        QVERIFY(store.openKey(kStartKey, true));
        store.writeString(QStringLiteral("start_key"), value);
        store.closeKey();
    }
    int noticesShown() const { return int(ui->log.count(QStringLiteral("modal TForm4"))); }
    // Lets the start-up notice check run, as the message loop would.
    static void waitForTheTimer(TForm1 *w)
    {
        QTRY_VERIFY_WITH_TIMEOUT(!w->Timer1->isActive(), 3000);
    }

private slots:
    void init()
    {
        home = std::make_unique<QTemporaryDir>();
        useConfig(home->filePath(QStringLiteral("config")));
        ui = std::make_unique<ScriptedUi>();
    }
    void cleanup()
    {
        ui.reset();
        home.reset();
    }

    void windowsAreCreatedInOrder()
    {
        StartupOptions o = StartupOptions::quiet();
        o.showSplash = true; // no wait, but the splash comes and goes
        Program program({}, o);
        QCOMPARE(program.creationLog,
            (QStringList {
                "TForm5", "TForm1", "TForm7", "TForm4", "-TForm5", "TForm2", "TForm3", "TForm6"}));
        QVERIFY(program.Form1()->isVisible());
        for (const char *hidden : {"TForm7", "TForm4", "TForm2", "TForm3", "TForm6"})
            QVERIFY2(!program.form(QLatin1String(hidden))->isVisible(), hidden);
        QCOMPARE(platform::applicationTitle(), QStringLiteral("Velmorandquist"));
        QVERIFY(!QApplication::windowIcon().isNull());
        // The settings key was made at the main window's creation.
        SettingsStore store;
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
            QVERIFY(program.Form1()->isVisible());
            QCOMPARE(ui->messageTexts(),
                QStringList {QStringLiteral("Failed to create key %1.").arg(kKey)});
            QCOMPARE(ui->messages[0].caption, QStringLiteral("Velmorandquist"));
            // Nothing can be read, so the notice shows at every start.
            waitForTheTimer(program.Form1());
            QCOMPARE(noticesShown(), 1);
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
        TForm1 *w = program.Form1();
        QVERIFY(w->Timer1->isActive());
        QCOMPARE(w->Timer1->interval(), 1000);
        waitForTheTimer(w);
        QCOMPARE(w->regno->text(), value);
        QCOMPARE(noticesShown(), shown);
        // Once per start: the timer stopped itself.
        QTest::qWait(1200);
        QCOMPARE(noticesShown(), shown);
    }

    void noticeTickedOkIsRemembered()
    {
        {
            ui->onModal(QStringLiteral("TForm4"), [](QDialog &d) {
                auto &f = static_cast<TForm4 &>(d);
                f.CheckBox1->setChecked(true);
                f.Button1->click();
            });
            Program program({}, withNotice());
            waitForTheTimer(program.Form1());
            QCOMPARE(noticesShown(), 1);
        }
        {
            // Ticked but closed with the close box: nothing was written
            // then, and the ticked OK before still holds.
            Program program({}, withNotice());
            waitForTheTimer(program.Form1());
            QCOMPARE(noticesShown(), 1);
            QCOMPARE(program.Form1()->regno->text(), QStringLiteral("no"));
        }
    }

    void noticeClosedWithTheCloseBoxComesAgain()
    {
        for (int start = 1; start <= 2; ++start) {
            ui->onModal(QStringLiteral("TForm4"), [](QDialog &d) {
                static_cast<TForm4 &>(d).CheckBox1->setChecked(true);
                d.reject();
            });
            Program program({}, withNotice());
            waitForTheTimer(program.Form1());
            QCOMPARE(noticesShown(), start);
        }
    }

    void startKeyOfAnotherTypeIsAnError()
    {
        SettingsStore().createKey(kStartKey);
        const QString path = SettingsStore::defaultFilePath();
        QFile f(path);
        QVERIFY(f.open(QIODevice::Append));
        f.write("start_key = dword 0x00000001\n");
        f.close();
        Program program({}, withNotice());
        waitForTheTimer(program.Form1());
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
        TForm1 *w = nullptr;
        ui->onModal(QStringLiteral("TForm4"), [&](QDialog &) { seen = w->RichEdit1->text(); });
        Program program({name}, withNotice());
        w = program.Form1();
        platform::activateWindow(w);
        QCOMPARE(w->RichEdit1->text(), QByteArray("loaded first"));
        waitForTheTimer(w);
        QCOMPARE(noticesShown(), 1);
        QCOMPARE(seen, QByteArray("loaded first"));
        // Returning from the notice does not load it again.
        QCOMPARE(w->RichEdit1->text(), QByteArray("loaded first"));
    }

    // --- View options --------------------------------------------------------

    void toolbarRowsFollowTheTwoTicks()
    {
        Program program({}, StartupOptions::quiet());
        TForm1 *w = program.Form1();
        const auto rows = [w] {
            return QString::fromLatin1("%1%2")
                .arg(w->Panel3->isVisible() ? '3' : '-')
                .arg(w->Panel1->isVisible() ? '1' : '-');
        };
        QCOMPARE(rows(), QStringLiteral("3-"));
        const int editorHeight = w->RichEdit1->height();
        w->ShowButtonText1->trigger();
        QCOMPARE(rows(), QStringLiteral("-1"));
        QVERIFY(!w->ShowButtonText1->isChecked());
        QApplication::processEvents();
        QCOMPARE(w->RichEdit1->height(), editorHeight + 14);
        // Hide, choose captions while hidden, show: the row with captions.
        w->ShowToolBar1->trigger();
        QCOMPARE(rows(), QStringLiteral("--"));
        w->ShowButtonText1->trigger();
        QCOMPARE(rows(), QStringLiteral("--"));
        QVERIFY(w->ShowButtonText1->isChecked());
        w->ShowButtonText1->trigger();
        w->ShowToolBar1->trigger();
        QCOMPARE(rows(), QStringLiteral("-1"));
        QVERIFY(w->ShowToolBar1->isChecked());
        // Every sequence of the two toggles keeps at most one row visible,
        // the one the ticks choose.
        for (int i = 0; i < 64; ++i) {
            (i * 7 % 3 ? w->ShowToolBar1 : w->ShowButtonText1)->trigger();
            const bool bar = w->ShowToolBar1->isChecked();
            const bool text = w->ShowButtonText1->isChecked();
            QCOMPARE(w->Panel3->isVisible(), bar && text);
            QCOMPARE(w->Panel1->isVisible(), bar && !text);
        }
    }

    void wordWrapFontAndBackground()
    {
        Program program({}, StartupOptions::quiet());
        TForm1 *w = program.Form1();
        QVERIFY(w->RichEdit1->wordWrap());
        w->WordWrap1->trigger();
        QVERIFY(!w->WordWrap1->isChecked());
        QVERIFY(!w->RichEdit1->wordWrap());
        w->WordWrap1->trigger();
        QVERIFY(w->RichEdit1->wordWrap());

        // The font dialog shows the start font, then the one last chosen.
        QFont chosen(QStringLiteral("DejaVu Serif"), 14);
        chosen.setItalic(true);
        ui->fontAnswers << platform::FontChoice {chosen, QColor(Qt::darkRed)};
        w->Colors1->trigger();
        QCOMPARE(ui->fontRequests[0].font.pointSize(), 8);
        QCOMPARE(w->RichEdit1->document()->defaultFont().pointSize(), 14);
        QVERIFY(w->RichEdit1->document()->defaultFont().italic());
        QCOMPARE(w->RichEdit1->palette().color(QPalette::Text), QColor(Qt::darkRed));
        w->Colors1->trigger(); // cancelled
        QCOMPARE(ui->fontRequests[1].font.pointSize(), 14);
        QCOMPARE(w->RichEdit1->document()->defaultFont().pointSize(), 14);
        QVERIFY(!w->DocModified);

        // Background: the colour dialog starts at black, then the last one.
        ui->colorAnswers << QColor(Qt::yellow);
        w->Color1->trigger();
        QCOMPARE(ui->colorRequests[0], QColor(Qt::black));
        QCOMPARE(w->RichEdit1->palette().color(QPalette::Base), QColor(Qt::yellow));
        w->Color1->trigger();
        QCOMPARE(ui->colorRequests[1], QColor(Qt::yellow));
        QCOMPARE(w->RichEdit1->palette().color(QPalette::Base), QColor(Qt::yellow));

        // Nothing of the view outlives the run.
        Program again({}, StartupOptions::quiet());
        QVERIFY(again.Form1()->WordWrap1->isChecked());
        QCOMPARE(again.Form1()->RichEdit1->document()->defaultFont().pointSize(), 8);
    }

    void helpAndAbout()
    {
        Program program({}, StartupOptions::quiet());
        TForm1 *w = program.Form1();
        w->About1->trigger();
        w->About1->trigger();
        QCOMPARE(ui->log.count(QStringLiteral("modal TForm6")), 2);
        w->N1->trigger();
        QVERIFY(ui->messages.isEmpty());
        QVERIFY(w->isVisible());
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
