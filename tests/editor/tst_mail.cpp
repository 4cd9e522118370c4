// Mail from the main window: the preferences as the store holds them, the
// ways out to the desktop's mail and an external program, and Quick Mail:
// the composer's checks, its fresh start at every activation, and whole sends
// to a real mail server on 127.0.0.1.

#include "editor/mainwindow.h"
#include "editor/program.h"
#include "gui/richedit.h"
#include "mail/windows/composerwindow.h"
#include "mail/windows/dispatch.h"
#include "mail/windows/preferenceswindow.h"
#include "mail/windows/progresswindow.h"
#include "settings/store.h"
#include "settings/values.h"
#include "tests/mail/mailserver.h"
#include "tests/support/files.h"
#include "tests/support/scriptedmodal.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QJsonArray>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace editor;
using mail::windows::ComposerWindow;
using mail::windows::MailMode;
using mail::windows::PreferencesWindow;
using testsupport::Answer;
using testsupport::child;
using testsupport::MailServer;
using testsupport::ScriptedModal;

class TestMail : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<ScriptedModal> ui;
    std::unique_ptr<Program> program;

    // The program starts after the test has stored what it loads.
    void start() { program = std::make_unique<Program>(QString(), StartupOptions::quiet()); }
    void startComposing()
    {
        start();
        setPreference("name", "Ann");
        setPreference("address", "ann@example.org");
    }
    MainWindow &main() const { return program->mainWindow(); }
    PreferencesWindow &preferences() const
    {
        return static_cast<PreferencesWindow &>(*program->window("TForm10"));
    }
    QLineEdit &field(const char *name) const { return child<QLineEdit>(preferences(), name); }
    void setPreference(const char *name, const QString &text) { field(name).setText(text); }
    QStringList starts() const { return ui->log.filter(QRegularExpression("^(start|open-url) ")); }
    // Opens the composer, fills it in and presses Send; after runs inside too.
    void sendWith(const QString &to, const QString &cc, const QString &subject,
        const std::function<void(QDialog &)> &after = {})
    {
        ui->onModal("TForm9", [=](QDialog &d) {
            child<QPlainTextEdit>(d, "eTo").setPlainText(to);
            child<QPlainTextEdit>(d, "eCC").setPlainText(cc);
            child<QLineEdit>(d, "eSubject").setText(subject);
            child<QAbstractButton>(d, "CoolButton1").click();
            if (after)
                after(d);
        });
        main().sendQuickMail();
    }

private slots:
    void init()
    {
        home = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home->path()));
        ui = std::make_unique<ScriptedModal>();
    }
    void cleanup()
    {
        QCOMPARE(ui->busyDepth(), 0);
        program.reset();
        ui.reset();
        home.reset();
    }

    // --- Preferences and the ways out ------------------------------------
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

    // --- Quick Mail ---------------------------------------------------------

    void checksBeforeSending()
    {
        startComposing();
        // No server and no recipient: both said, server first; no question.
        sendWith(QString(), QString(), QString());
        QCOMPARE(ui->messageTexts(),
            (QStringList {"No mail server is specified under mail preferances",
                "Please enter a send to address"}));
        QCOMPARE(ui->messages[0].caption, "ERROR");
        QCOMPARE(ui->messages[0].icon, gui::Icon::Error);
        // No subject, and No to the question: nothing sent, the fields as typed.
        ui->messages.clear();
        setPreference("smtp", "127.0.0.1:9");
        ui->messageAnswers << Answer::No;
        QString typed;
        sendWith("bob@example.org", QString(), QString(),
            [&](QDialog &d) { typed = child<QPlainTextEdit>(d, "eTo").toPlainText(); });
        QCOMPARE(ui->messageTexts(),
            QStringList {"There is no subject line for this message.  Send anyways?"});
        QCOMPARE(ui->messages[0].buttons, gui::Buttons::YesNo);
        QCOMPARE(typed, "bob@example.org");
        QVERIFY(!ui->log.contains("busy"));
    }

    void freshAtEveryActivation()
    {
        startComposing();
        main().editor().setText("the text\r\nto send");
        QStringList seen;
        ui->onModal("TForm9", [&](QDialog &d) {
            seen << child<gui::RichEdit>(d, "RichEdit1").text()
                 << child<QLineEdit>(d, "eFrom").text();
            child<QPlainTextEdit>(d, "eTo").setPlainText("typed@example.org");
            // Back from the preferences: recipients gone, body afresh.
            main().editor().setText("changed");
            d.findChild<QMenuBar *>()->actions()[2]->menu()->actions()[1]->trigger();
            seen << child<QPlainTextEdit>(d, "eTo").toPlainText()
                 << child<gui::RichEdit>(d, "RichEdit1").text();
        });
        main().sendQuickMail();
        QCOMPARE(
            seen, (QStringList {"the text\r\nto send", "Ann <ann@example.org>", "", "changed"}));
        QCOMPARE(ui->log.count("modal TForm10"), 1);
    }

    void sendsTheBlockWhole()
    {
        startComposing();
        MailServer server;
        setPreference("smtp", server.server());
        // A block's body is one long line; a line of one dot must stay one.
        const QByteArray line(5000, 'k');
        main().editor().setText("[Encrypted_By_Velmorandquist][Begin_Encryption]\r\n&" + line
            + "\r\n[End_Encryption]\r\n.\r\nend");
        // A file goes with it, byte for byte, as the status says.
        const QString attached = home->filePath("secret.vlq");
        QByteArray bytes;
        for (int i = 0; i < 3000; ++i)
            bytes += char(i * 7);
        QFile file(attached);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        ui->fileAnswers << attached;
        QStringList after;
        ui->onModal("TForm9", [&](QDialog &d) {
            child<QCheckBox>(d, "cbSendFile").click();
            after << child<QStatusBar>(d, "SMTPStatus").currentMessage();
        });
        main().sendQuickMail();
        sendWith("x@example.org\ny@example.org\n", "z@example.org", "block", [&](QDialog &d) {
            after << child<QPlainTextEdit>(d, "eTo").toPlainText()
                  << child<gui::RichEdit>(d, "RichEdit1").text();
        });
        QCOMPARE(after[0], attached + " is attached.");
        after.removeFirst();
        QCOMPARE(ui->messageTexts(), QStringList {"Message Sent"});
        QCOMPARE(ui->messages[0].caption, "Velmorandquist");
        QCOMPARE(after, (QStringList {"", ""}));
        QVERIFY(!program->window("TForm11")->isVisible());
        const QList<QJsonObject> sent = server.messages();
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent[0]["mail_from"].toString(), "ann@example.org");
        QCOMPARE(sent[0]["rcpt_tos"].toArray().toVariantList(),
            (QVariantList {"x@example.org", "y@example.org", "z@example.org"}));
        // Line ends as the mail parser gives them, CR LF or LF.
        const QJsonArray files = sent[0]["attachments"].toArray();
        QCOMPARE(files.size(), 1);
        QCOMPARE(files[0]["filename"].toString(), "secret.vlq");
        QCOMPARE(QByteArray::fromBase64(files[0]["data"].toString().toLatin1()), bytes);
        const QString body = sent[0]["body"].toString().replace("\r\n", "\n");
        QVERIFY(body.contains("\n&" + QString(line) + "\n[End_Encryption]\n.\nend"));
    }

    void failureThenSendAgain()
    {
        startComposing();
        // A name nothing resolves (the reserved .invalid), then the real one.
        setPreference("smtp", "nowhere.invalid");
        sendWith("x@example.org", QString(), "one");
        QCOMPARE(ui->messageTexts(), QStringList {"Host Lookup Failed."});
        QCOMPARE(ui->messages[0].icon, gui::Icon::Error);
        QVERIFY(!program->window("TForm11")->isVisible());
        MailServer server;
        setPreference("smtp", server.server());
        ui->messages.clear();
        sendWith("x@example.org", QString(), "two");
        QCOMPARE(ui->messageTexts(), QStringList {"Message Sent"});
        QCOMPARE(server.messages().size(), 1);
    }

    void logOnAsksThePassword()
    {
        startComposing();
        // No keyring here: the password is asked at every send, never stored.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
        MailServer server;
        setPreference("smtp", server.server());
        setPreference("user", "ann");
        sendWith("x@example.org", QString(), "s"); // cancelled: nothing happens
        QCOMPARE(ui->log.filter("password ").size(), 1);
        QVERIFY(ui->messages.isEmpty());
        QVERIFY(!ui->log.contains("busy"));
        // A log-on over a line without encryption is refused before the
        // password goes anywhere.
        ui->passwordAnswers << gui::PasswordAnswer {"secret", true};
        sendWith("x@example.org", QString(), "s");
        QCOMPARE(ui->log.filter("password ").size(), 2);
        QCOMPARE(ui->messages.size(), 1);
        QVERIFY2(ui->messages[0].text.contains("encryption"), qPrintable(ui->messages[0].text));
        QVERIFY(server.messages().isEmpty());
        QVERIFY(!testsupport::fileBytes(settings::Store::defaultFilePath()).contains("secret"));
    }

    void closeDuringASend_data()
    {
        QTest::addColumn<QString>("silence");
        QTest::newRow("waiting for the greeting") << "--silent";
        QTest::newRow("waiting after the message") << "--silent-data";
    }
    void closeDuringASend()
    {
        QFETCH(QString, silence);
        startComposing();
        MailServer silent({silence});
        setPreference("smtp", silent.server());
        auto &composer = static_cast<ComposerWindow &>(*program->window("TForm9"));
        bool secondSendIgnored = false;
        ui->onModal("TForm9", [&](QDialog &d) {
            child<QPlainTextEdit>(d, "eTo").setPlainText("x@example.org");
            child<QLineEdit>(d, "eSubject").setText("s");
            QTimer::singleShot(200, &d, [&] {
                // A second Send while the first waits is not taken.
                QVERIFY(composer.isSending());
                secondSendIgnored = !child<QAbstractButton>(d, "CoolButton1").isEnabled();
                child<QAbstractButton>(d, "CoolButton2").click();
            });
            child<QAbstractButton>(d, "CoolButton1").click();
        });
        main().sendQuickMail();
        QVERIFY(secondSendIgnored);
        QCOMPARE(ui->messages.size(), 1);
        QVERIFY2(ui->messages[0].text.endsWith("Canceled."), qPrintable(ui->messages[0].text));
        QVERIFY(!composer.isVisible());
        QVERIFY(!composer.isSending());
    }
};

QTEST_MAIN(TestMail)
#include "tst_mail.moc"
