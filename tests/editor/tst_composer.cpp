// Quick Mail from the main window: the composer's checks, its fresh start at
// every activation, and whole sends to a real mail server on 127.0.0.1.

#include "editor/mainwindow.h"
#include "editor/program.h"
#include "gui/richedit.h"
#include "mail/windows/composerwindow.h"
#include "mail/windows/preferenceswindow.h"
#include "mail/windows/progresswindow.h"
#include "settings/store.h"
#include "tests/mail/mailserver.h"
#include "tests/support/files.h"
#include "tests/support/scriptedmodal.h"

#include <QAction>
#include <QCheckBox>
#include <QJsonArray>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace editor;
using mail::windows::ComposerWindow;
using testsupport::Answer;
using testsupport::child;
using testsupport::MailServer;
using testsupport::ScriptedModal;

class TestComposer : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<ScriptedModal> ui;
    std::unique_ptr<Program> program;

    MainWindow &main() const { return program->mainWindow(); }
    QWidget &preferences() const { return *program->window("TForm10"); }
    void setPreference(const char *field, const QString &text)
    {
        child<QLineEdit>(preferences(), field).setText(text);
    }
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
        program = std::make_unique<Program>(QStringList {}, StartupOptions::quiet());
        setPreference("name", "Ann");
        setPreference("address", "ann@example.org");
    }
    void cleanup()
    {
        QCOMPARE(ui->busyDepth(), 0);
        program.reset();
        ui.reset();
        home.reset();
    }

    void checksBeforeSending()
    {
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

QTEST_MAIN(TestComposer)
#include "tst_composer.moc"
