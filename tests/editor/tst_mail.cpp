// The mail preferences as the store holds them, and the main window's ways of
// handing its text to the desktop's mail or an external mail program.

#include "editor/mainwindow.h"
#include "editor/program.h"
#include "gui/richedit.h"
#include "mail/windows/dispatch.h"
#include "mail/windows/preferenceswindow.h"
#include "settings/values.h"
#include "tests/support/scriptedmodal.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

using namespace editor;
using mail::windows::MailMode;
using mail::windows::PreferencesWindow;
using testsupport::child;
using testsupport::ScriptedModal;

class TestMail : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<ScriptedModal> ui;
    std::unique_ptr<Program> program;

    void start() { program = std::make_unique<Program>(QStringList {}, StartupOptions::quiet()); }
    PreferencesWindow &preferences() const
    {
        return static_cast<PreferencesWindow &>(*program->window("TForm10"));
    }
    QLineEdit &field(const char *name) const { return child<QLineEdit>(preferences(), name); }
    QStringList starts() const { return ui->log.filter(QRegularExpression("^(start|open-url) ")); }

private slots:
    void init()
    {
        home = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home->path()));
        ui = std::make_unique<ScriptedModal>();
    }
    void cleanup()
    {
        program.reset();
        ui.reset();
        home.reset();
    }

    void preferencesLoadAndSave_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("mode");
        QTest::newRow("none") << QString() << 1;
        QTest::newRow("2") << "2" << 2;
        QTest::newRow("blank 3") << " 3" << 3;
        QTest::newRow("7") << "7" << 1;
        QTest::newRow("letter") << "x2" << 1;
        QTest::newRow("sign and more") << "+2abc" << 2;
    }
    void preferencesLoadAndSave()
    {
        QFETCH(QString, stored);
        QFETCH(int, mode);
        if (!stored.isNull())
            settings::writeMailValues({"me@example.org", "Ann", "mail.example.org:587",
                "/usr/bin/mailer --new", stored, "ann"});
        start();
        PreferencesWindow &p = preferences();
        QCOMPARE(int(p.mode()), mode);
        QCOMPARE(field("Edit4").isReadOnly(), mode != 2);
        if (stored.isNull()) {
            for (const char *name : {"name", "address", "smtp", "Edit4", "user"})
                QVERIFY2(field(name).text().isEmpty(), name);
            return;
        }
        QCOMPARE(p.userName(), "Ann");
        QCOMPARE(p.address(), "me@example.org");
        QCOMPARE(p.server(), "mail.example.org:587");
        QCOMPARE(p.logOnName(), "ann");
        QCOMPARE(p.programPath(), "/usr/bin/mailer --new");

        // Edits count at once; closed with the close box, nothing is stored.
        ui->onModal("TForm10", [&](QDialog &d) {
            child<QLineEdit>(d, "smtp").setText("other.example.org");
            child<QRadioButton>(d, "RadioButton3").click();
            d.reject();
        });
        program->mainWindow().mailPreferences();
        QCOMPARE(p.server(), "other.example.org");
        QCOMPARE(p.mode(), MailMode::SystemMail);
        QCOMPARE(settings::readMailValues().server, "mail.example.org:587");

        // OK stores every field, the mode as its number.
        ui->onModal("TForm10", [&](QDialog &d) {
            child<QLineEdit>(d, "name").clear();
            child<QPushButton>(d, "Button2").click();
            QVERIFY(!d.isVisible());
        });
        program->mainWindow().mailPreferences();
        const settings::MailValues saved = settings::readMailValues();
        QCOMPARE(saved.name, QString());
        QCOMPARE(saved.server, "other.example.org");
        QCOMPARE(saved.mode, "3");
        QCOMPARE(saved.user, "ann");
        QVERIFY(ui->messages.isEmpty());
    }

    void dispatchByMode()
    {
        settings::writeMailValues({{}, {}, {}, "mailer --compose \"a b\"", "2", {}});
        start();
        MainWindow &w = program->mainWindow();
        w.editor().setText("a+b&c%d\r\ne");
        // External program: the command line as it stands, nothing of the text.
        w.captionRow().button(ToolbarRow::QuickMail)->click();
        QCOMPARE(starts(), QStringList {"start mailer --compose a b"});

        // Browse is for the external program only.
        ui->onModal("TForm10", [&](QDialog &d) {
            child<QRadioButton>(d, "RadioButton3").click();
            child<QPushButton>(d, "Button1").click();
            d.reject();
        });
        w.mailPreferences();
        QVERIFY(ui->fileRequests.isEmpty());

        // The desktop's mail: a new message with the text as its body, every
        // character that means something in a link encoded.
        ui->log.clear();
        w.pictureRow().button(ToolbarRow::QuickMail)->click();
        const QString body = "mailto:?body=a%2Bb%26c%25d%0D%0Ae%0D%0A";
        QCOMPARE(starts().size(), 1);
        QVERIFY2(starts()[0] == "open-url " + body || starts()[0].endsWith("xdg-email " + body),
            qPrintable(starts()[0]));
        QVERIFY(ui->messages.isEmpty());

        // Too long for a link: by the clipboard, and said so.
        ui->log.clear();
        const QByteArray longText(mail::windows::SystemMail::kLongestLink, 'x');
        w.editor().setText(longText);
        child<QAction>(w, "SendMAPIMail1").trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromLatin1(longText + "\r\n"));
        QCOMPARE(ui->messages.size(), 1);
        QVERIFY(ui->messages[0].text.contains("clipboard"));
        QVERIFY(starts()[0].endsWith("mailto:?body="));

        // An empty program path starts nothing and says nothing.
        ui->log.clear();
        ui->messages.clear();
        mail::windows::startExternalProgram(QString());
        QVERIFY(starts().isEmpty());
    }
};

QTEST_MAIN(TestMail)
#include "tst_mail.moc"
