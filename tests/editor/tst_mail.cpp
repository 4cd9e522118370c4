// Mail from the main window: the preferences as the store holds them, the
// ways out to the desktop's mail and an external program, and Quick Mail:
// the composer's checks, its fresh start at every activation, whole sends to
// a real mail server on 127.0.0.1 and faults from a scripted one, the
// password and certificate windows, help beside the modal composer.

#include "editor/mainwindow.h"
#include "editor/program.h"
#include "gui/helpwindow.h"
#include "gui/richedit.h"
#include "mail/windows/composerwindow.h"
#include "mail/windows/dispatch.h"
#include "mail/windows/keyring.h"
#include "mail/windows/preferenceswindow.h"
#include "mail/windows/progresswindow.h"
#include "settings/store.h"
#include "settings/values.h"
#include "tests/mail/mailserver.h"
#include "tests/mail/peer.h"
#include "tests/support/files.h"
#include "tests/support/gnupghome.h"
#include "tests/support/scriptedmodal.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QEventLoop>
#include <QGuiApplication>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSslCertificate>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

using namespace editor;
using namespace std::chrono_literals;
using mail::windows::ComposerWindow;
using mail::windows::MailMode;
using mail::windows::PreferencesWindow;
using testsupport::Answer;
using testsupport::child;
using testsupport::MailServer;
using testsupport::Peer;
using testsupport::ScriptedModal;

namespace {

// The keyring the tests script (they have no keyring service): how a lookup
// answers, what storing answers, and what the user does while a lookup waits.
class ScriptedKeyring : public mail::windows::Keyring
{
public:
    ScriptedKeyring() { mail::windows::installKeyring(this); }
    ~ScriptedKeyring() override { mail::windows::installKeyring(nullptr); }

    Lookup answer {std::nullopt, false, "no keyring service in the tests"};
    QString writeFailure;
    std::function<void()> whileWaiting;
    QStringList log;

    Lookup read(const QString &key) override
    {
        log << "read " + key;
        if (whileWaiting) {
            QEventLoop loop;
            m_loop = &loop;
            QTimer::singleShot(0, &loop, whileWaiting);
            QTimer::singleShot(10000, &loop, &QEventLoop::quit); // only if cancel never comes
            loop.exec();
            m_loop = nullptr;
        }
        return answer;
    }
    QString write(const QString &key, const QString &) override
    {
        log << "write " + key;
        return writeFailure;
    }
    void remove(const QString &key) override { log << "remove " + key; }
    void cancel() override
    {
        if (m_loop) {
            log << "cancel";
            m_loop->quit();
        }
    }

private:
    QEventLoop *m_loop = nullptr;
};

// Counts the mouse presses that reach a widget.
class Presses : public QObject
{
public:
    int count = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        count += e->type() == QEvent::MouseButtonPress;
        return false;
    }
};

} // namespace

class TestMail : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<ScriptedModal> ui;
    std::unique_ptr<ScriptedKeyring> keys;
    std::unique_ptr<Program> program;
    QTemporaryDir certs;

    // The program starts after the test has stored what it loads.
    void start()
    {
        program = std::make_unique<Program>(QString(), StartupOptions::quiet());
        QTRY_VERIFY(program->mainWindow().hasStartedUp());
    }
    void startComposing()
    {
        start();
        setPreference("name", "Ann");
        setPreference("address", "ann@example.org");
    }
    MainWindow &main() const { return program->mainWindow(); }
    ComposerWindow &composer() const
    {
        return static_cast<ComposerWindow &>(*program->window("TForm9"));
    }
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
    void initTestCase()
    {
        QVERIFY(testsupport::makeCertificate(certs.path(), "stranger", "IP:127.0.0.1"));
    }
    void init()
    {
        home = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home->path()));
        ui = std::make_unique<ScriptedModal>();
        keys = std::make_unique<ScriptedKeyring>();
    }
    void cleanup()
    {
        QCOMPARE(ui->busyDepth(), 0);
        program.reset();
        keys.reset();
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
                "/usr/bin/mailer --new", stored, "ann", "tls"});
        start();
        PreferencesWindow &p = preferences();
        QCOMPARE(int(p.mode()), mode);
        QCOMPARE(field("Edit4").isReadOnly(), mode != 2);
        if (stored.isNull()) {
            for (const char *name : {"name", "address", "smtp", "Edit4", "user"})
                QVERIFY2(field(name).text().isEmpty(), name);
            QCOMPARE(p.security(), mail::Security::Automatic);
            return;
        }
        QCOMPARE(p.security(), mail::Security::Tls);
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
            child<QComboBox>(d, "security").setCurrentText("None");
            child<QPushButton>(d, "Button2").click();
            QVERIFY(!d.isVisible());
        });
        program->mainWindow().mailPreferences();
        const settings::MailValues saved = settings::readMailValues();
        QCOMPARE(saved.name, QString());
        QCOMPARE(saved.server, "other.example.org");
        QCOMPARE(saved.mode, "3");
        QCOMPARE(saved.user, "ann");
        QCOMPARE(saved.security, "None");
        QVERIFY(ui->messages.isEmpty());
    }

    // One value of another type reads as empty and is reported; the others
    // load, and OK does not blank them.
    void preferencesReadPerValue()
    {
        {
            settings::Store store;
            store.openKey("\\software\\Qumo\\Velmorandquist\\environment", true);
            store.writeString("e_address", "me@example.org");
            store.writeString("e_name", "Ann");
            store.writeString("e_mail", "2");
        }
        QFile f(settings::Store::defaultFilePath());
        QVERIFY(f.open(QIODevice::Append));
        f.write("e_smtp = dword 0x0000002a\ne_security = binary 1 00\n");
        f.close();
        start();
        QCOMPARE(ui->messageTexts(),
            (QStringList {
                "Invalid data type for 'e_smtp'.", "Invalid data type for 'e_security'."}));
        QCOMPARE(preferences().address(), "me@example.org");
        QCOMPARE(preferences().userName(), "Ann");
        QCOMPARE(preferences().mode(), MailMode::ExternalProgram);
        QCOMPARE(preferences().server(), QString());
        ui->onModal("TForm10", [](QDialog &d) { child<QPushButton>(d, "Button2").click(); });
        main().mailPreferences();
        QCOMPARE(settings::readMailValues().name, "Ann");
    }

    void dispatchByMode()
    {
        settings::writeMailValues({{}, {}, {}, "mailer --compose \"a b\"", "2", {}, {}});
        start();
        MainWindow &w = program->mainWindow();
        w.editor().setText("a+b&c%d\r\ne");
        // External program: the command line as it stands, nothing of the text.
        w.captionRow().button(ToolbarRow::QuickMail)->click();
        QCOMPARE(starts(), QStringList {"start mailer --compose a b"});

        // Browse is for the external program only; a chosen path with a blank
        // starts as chosen, with the arguments typed after it.
        ui->fileAnswers << "/home/u/My Apps/mailer";
        ui->onModal("TForm10", [&](QDialog &d) {
            child<QPushButton>(d, "Button1").click();
            QCOMPARE(child<QLineEdit>(d, "Edit4").text(), "\"/home/u/My Apps/mailer\"");
            child<QLineEdit>(d, "Edit4").end(false);
            child<QLineEdit>(d, "Edit4").insert(" --compose");
            d.reject();
        });
        w.mailPreferences();
        w.captionRow().button(ToolbarRow::QuickMail)->click();
        QCOMPARE(ui->startRequests.last(), (QStringList {"/home/u/My Apps/mailer", "--compose"}));
        ui->onModal("TForm10", [&](QDialog &d) {
            child<QRadioButton>(d, "RadioButton3").click();
            child<QPushButton>(d, "Button1").click();
            d.reject();
        });
        w.mailPreferences();
        QCOMPARE(ui->fileRequests.size(), 1);

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
        QCOMPARE(ui->messageTexts(),
            QStringList {"The text is too long to hand to the mail program. It is on the "
                         "clipboard: paste it into the new message."});
        QVERIFY(starts()[0].endsWith("mailto:?body="));
        // No mail program opened: no new message to paste into.
        ui->messages.clear();
        ui->startSucceeds = ui->openUrlSucceeds = false;
        child<QAction>(w, "SendMAPIMail1").trigger();
        QCOMPARE(ui->messageTexts(),
            QStringList {"The text is too long to hand to a mail program, and no mail program "
                         "could be opened. The text is on the clipboard."});

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
        // No server, sender or recipient: all said, server first; no question.
        setPreference("address", "");
        sendWith(QString(), QString(), QString());
        QCOMPARE(ui->messageTexts(),
            (QStringList {"No mail server is specified under mail preferances",
                "No e-mail address is specified under mail preferances",
                "Please enter a send to address"}));
        setPreference("address", "ann@example.org");
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

    // The editor's characters arrive as they are, with the sender's name; a
    // file goes with the one mail it was attached to, byte for byte, and the
    // box and the status line always say whether one goes.
    void sendsTheBlockWholeAndTheAttachmentOnce()
    {
        startComposing();
        MailServer server;
        setPreference("smtp", server.server());
        setPreference("name", "Ann Teller");
        // A block's body is one long line; a line of one dot must stay one.
        const QString line(5000, 'k');
        const QString text = "[Encrypted_By_Velmorandquist][Begin_Encryption]\r\n&" + line
            + "\r\n[End_Encryption]\r\n.\r\nПривет, Ελλάδα";
        main().editor().setCharacters(text);
        const QString attached = home->filePath("secret.vlq");
        QByteArray bytes;
        for (int i = 0; i < 3000; ++i)
            bytes += char(i * 7);
        QVERIFY(testsupport::writeFile(attached, bytes));
        ui->fileAnswers << attached << attached << attached << std::nullopt;
        QStringList seen;
        const auto state = [&](QDialog &d) {
            seen << QString::number(child<QCheckBox>(d, "cbSendFile").isChecked())
                    + child<QStatusBar>(d, "SMTPStatus").currentMessage();
        };
        const auto fillAndSend = [&](QDialog &d) {
            child<QPlainTextEdit>(d, "eTo").setPlainText("x@example.org\ny@example.org\n");
            child<QLineEdit>(d, "eSubject").setText("block");
            child<QAbstractButton>(d, "CoolButton1").click();
        };
        ui->onModal("TForm9", [&](QDialog &d) {
            QCOMPARE(child<gui::RichEdit>(d, "RichEdit1").characters(), text);
            auto &box = child<QCheckBox>(d, "cbSendFile");
            box.click();
            state(d);
            fillAndSend(d); // with the file
            state(d);
            child<gui::RichEdit>(d, "RichEdit1").setCharacters("second");
            fillAndSend(d); // without it
            box.click(); // attached, then unticked
            box.click();
            state(d);
            box.click(); // attached, then Edit > Clear All
            d.findChild<QMenuBar *>()->actions()[1]->menu()->actions()[4]->trigger();
            state(d);
            box.click(); // no file chosen
            state(d);
        });
        main().sendQuickMail();
        QCOMPARE(seen, (QStringList {"1" + attached + " is attached.", "0", "0", "0", "0"}));
        QCOMPARE(ui->messageTexts(), (QStringList {"Message Sent", "Message Sent"}));
        // The cursor is normal again before the notice.
        const qsizetype notice = ui->log.indexOf(QRegularExpression("^message .*Message Sent"));
        QCOMPARE(ui->log.at(notice - 1), "idle");
        QVERIFY(!program->window("TForm11")->isVisible());
        const QList<QJsonObject> sent = server.messages();
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent[0]["mail_from"].toString(), "ann@example.org");
        QCOMPARE(sent[0]["rcpt_tos"].toArray().toVariantList(),
            (QVariantList {"x@example.org", "y@example.org"}));
        QVERIFY(sent[0]["raw"].toString().contains("\r\nFrom: Ann Teller <ann@example.org>\r\n"));
        const QJsonArray files = sent[0]["attachments"].toArray();
        QCOMPARE(files.size(), 1);
        QCOMPARE(files[0]["filename"].toString(), "secret.vlq");
        QCOMPARE(QByteArray::fromBase64(files[0]["data"].toString().toLatin1()), bytes);
        // Line ends as the mail parser gives them, CR LF or LF.
        QCOMPARE(sent[0]["body"].toString().replace("\r\n", "\n").trimmed(),
            QString(text).replace("\r\n", "\n"));
        QVERIFY(sent[1]["attachments"].toArray().isEmpty());
        QCOMPARE(sent[1]["body"].toString().trimmed(), "second");
    }

    void openPgpMessageGoesOutAsItIs()
    {
        // Inline OpenPGP: what arrives opens with gpg -d and with this program.
        testsupport::GnuPGHome gnupg;
        QVERIFY(gnupg.isValid());
        startComposing();
        MailServer server;
        setPreference("smtp", server.server());
        const testsupport::Run made =
            gnupg.gpg({"-c", "-a"}, "Meet at noon. \xe2\x82\xac 5\n", "pass phrase");
        QCOMPARE(made.status, 0);
        main().editor().setCharacters(QString::fromLatin1(made.out).trimmed());
        sendWith("x@example.org", {}, "for you");
        QCOMPARE(server.messages().size(), 1);
        const QByteArray body = server.messages()[0]["body"].toString().toUtf8();
        const testsupport::Run read = gnupg.gpg({"-d"}, body, "pass phrase");
        QCOMPARE(read.status, 0);
        QCOMPARE(read.out, "Meet at noon. \xe2\x82\xac 5\n");
        main().editor().setCharacters(QString::fromUtf8(body));
        ui->onModal("TForm3", [](QDialog &d) {
            child<QLineEdit>(d, "Edit1").setText("pass phrase");
            child<QPushButton>(d, "BitBtn6").click();
        });
        main().decrypt();
        QVERIFY2(main().editor().characters().startsWith("Meet at noon. \u20ac 5"),
            qPrintable(main().editor().characters()));
    }

    // Refused recipients after "Message Sent": each named with the server's
    // reply, a 4xx as temporary.
    void refusedRecipientsAreNamed()
    {
        startComposing();
        Peer peer("220 mail.test\r\n",
            {"250 mail.test\r\n", "250 OK\r\n", "250 OK\r\n", "550 5.1.1 No such user\r\n",
                "450 4.2.0 Greylisted\r\n", "250 OK\r\n", "354 Go on\r\n", "250 Queued\r\n",
                "221 Bye\r\n"});
        setPreference("smtp", peer.server());
        QString status;
        sendWith("bad@example.org\ngrey@example.org\ngood@example.org", QString(), "s",
            [&](QDialog &d) { status = child<QStatusBar>(d, "SMTPStatus").currentMessage(); });
        QCOMPARE(ui->messageTexts(),
            (QStringList {"Message Sent",
                "The message was not sent to:\n\nbad@example.org: 550 5.1.1 No such user\n"
                "grey@example.org: 450 4.2.0 Greylisted (temporary: try again later)"}));
        QCOMPARE(ui->messages[1].caption, "WARNING");
        QCOMPARE(ui->messages[1].icon, gui::Icon::Warning);
        QCOMPARE(status, "Not sent to bad@example.org, grey@example.org");
        QCOMPARE(peer.received.last(), "QUIT\r\n");
    }

    void failureThenSendAgain()
    {
        startComposing();
        // A name nothing resolves (the reserved .invalid), a server that
        // stops answering, STARTTLS asked of a server without it; then the
        // real one.
        setPreference("smtp", "nowhere.invalid");
        sendWith("x@example.org", QString(), "one");
        MailServer silent({"--silent"});
        setPreference("smtp", silent.server());
        composer().setTimeOuts({300ms, 300ms, 300ms, 300ms, 300ms, 300ms, 300ms});
        sendWith("x@example.org", QString(), "two");
        MailServer server;
        setPreference("smtp", server.server());
        preferences().findChild<QComboBox *>("security")->setCurrentText("STARTTLS");
        sendWith("x@example.org", QString(), "three");
        QCOMPARE(ui->messageTexts(),
            (QStringList {"Host Lookup Failed.", "Read Timed Out.",
                "The mail server does not offer encryption (STARTTLS)."}));
        QCOMPARE(ui->messages[0].icon, gui::Icon::Error);
        QVERIFY(!program->window("TForm11")->isVisible());
        preferences().findChild<QComboBox *>("security")->setCurrentText("Automatic");
        ui->messages.clear();
        sendWith("x@example.org", QString(), "four");
        QCOMPARE(ui->messageTexts(), QStringList {"Message Sent"});
        QCOMPARE(server.messages().size(), 1);
    }

    // The password is asked at send time; "Remember" only where a keyring
    // can keep it, and a keyring that refuses it is said once.
    void logOnAsksThePassword()
    {
        startComposing();
        MailServer server;
        setPreference("smtp", server.server());
        setPreference("user", "ann");
        QStringList remember;
        const auto answer = [&](bool tick) {
            ui->onModal("PasswordWindow", [&, tick](QDialog &d) {
                auto &box = child<QCheckBox>(d, "remember");
                remember << QString::number(box.isEnabled()) + box.toolTip();
                child<QLineEdit>(d, "password").setText("secret");
                box.setChecked(tick);
                d.accept();
            });
        };
        sendWith("x@example.org", QString(), "s"); // cancelled: nothing happens
        QVERIFY(ui->messages.isEmpty());
        QVERIFY(!ui->log.contains("busy"));
        // A log-on over a line without encryption is refused before the
        // password goes anywhere.
        answer(false);
        sendWith("x@example.org", QString(), "s");
        keys->answer = {std::nullopt, true, {}};
        keys->writeFailure = "the collection is locked";
        answer(true);
        sendWith("x@example.org", QString(), "s");
        answer(true);
        sendWith("x@example.org", QString(), "s");
        QCOMPARE(remember,
            (QStringList {"0The password cannot be kept: no keyring service in the tests. It is "
                          "asked for at every send.",
                "1Keep the password in the desktop's keyring",
                "0The password cannot be kept: the keyring did not take it (the collection is "
                "locked). It is asked for at every send."}));
        QCOMPARE(keys->log.filter("write ").size(), 1);
        QCOMPARE(ui->messageTexts().filter("keyring").size(), 1);
        QCOMPARE(ui->messageTexts().filter("encryption").size(), 3);
        QVERIFY(server.messages().isEmpty());
        QVERIFY(!testsupport::fileBytes(settings::Store::defaultFilePath()).contains("secret"));
    }

    // Close while the keyring is looked up: Send is taken at once, nothing
    // is asked or sent after it.
    void closeDuringTheKeyringLookup()
    {
        startComposing();
        MailServer server;
        setPreference("smtp", server.server());
        setPreference("user", "ann");
        keys->answer = {QString("kept"), true, {}};
        bool sendTaken = false;
        ui->onModal("TForm9", [&](QDialog &d) {
            keys->whileWaiting = [&] {
                sendTaken = !child<QAbstractButton>(d, "CoolButton1").isEnabled();
                child<QAbstractButton>(d, "CoolButton2").click();
            };
            child<QPlainTextEdit>(d, "eTo").setPlainText("x@example.org");
            child<QLineEdit>(d, "eSubject").setText("s");
            child<QAbstractButton>(d, "CoolButton1").click();
        });
        main().sendQuickMail();
        QVERIFY(sendTaken);
        QCOMPARE(keys->log, (QStringList {"read ann@" + server.server(), "cancel"}));
        QVERIFY(ui->messages.isEmpty());
        QVERIFY(!ui->log.contains("busy"));
        QVERIFY(!composer().isVisible());
        QVERIFY(server.messages().isEmpty());
    }

    // A certificate the system does not trust is shown; trusted, it is kept
    // for that server and the mail goes; another one later is refused with
    // both fingerprints.
    void untrustedCertificateIsShownAndCanBeTrusted()
    {
        startComposing();
        const QString pem = certs.filePath("stranger.pem");
        MailServer server({"--starttls", "--cert", pem, "--key", certs.filePath("stranger.key")});
        setPreference("smtp", server.server());
        const QString fingerprint =
            mail::Socket::fingerprintOf(QSslCertificate::fromPath(pem).value(0));
        QStringList shown;
        QString intro;
        const auto look = [&](bool trust) {
            ui->onModal("CertificateWindow", [&, trust](QDialog &d) {
                intro = child<QLabel>(d, "intro").text();
                for (const char *name : {"subject", "issuer", "fingerprint", "reason"})
                    shown << child<QLabel>(d, name).text();
                if (QLabel *before = d.findChild<QLabel *>("trusted"))
                    shown << before->text();
                if (QAbstractButton *button = d.findChild<QAbstractButton *>("trust");
                    button && trust)
                    button->click();
            });
        };
        look(false); // closed: not trusted
        sendWith("x@example.org", QString(), "one");
        look(true);
        sendWith("x@example.org", QString(), "two");
        sendWith("x@example.org", QString(), "three"); // kept: not asked again
        const QStringList details {"Test stranger (127.0.0.1)", "Test stranger", fingerprint,
            "The certificate is self-signed, and untrusted"};
        QCOMPARE(shown, details + details);
        QCOMPARE(ui->messageTexts(),
            (QStringList {"Certificate Rejected: The certificate is self-signed, and untrusted.",
                "Message Sent", "Message Sent"}));
        const QString key = "127.0.0.1:" + QString::number(server.port());
        QCOMPARE(settings::readTrustedCertificate(key), fingerprint);
        QCOMPARE(server.messages().size(), 2);
        QVERIFY(server.messages()[0]["tls"].toBool());

        // A different certificate from the trusted one: shown, never offered.
        const QString other = QString(fingerprint).replace(0, 2, "00");
        settings::writeTrustedCertificate(key, other);
        shown.clear();
        ui->messages.clear();
        look(true);
        sendWith("x@example.org", QString(), "four");
        QCOMPARE(shown, details + QStringList {other});
        QCOMPARE(intro.section('\n', 0, 0),
            QStringLiteral(
                "The mail server %1 shows a different certificate from the one you trusted for it.")
                .arg(key));
        QCOMPARE(ui->messageTexts(),
            QStringList {QStringLiteral("Certificate Rejected: it is not the certificate trusted "
                                        "for %1 (trusted SHA-256 %2, now %3).")
                             .arg(key, other, fingerprint)});
        QCOMPARE(server.messages().size(), 2);
        QCOMPARE(settings::readTrustedCertificate(key), other);
    }

    void closeDuringASend_data()
    {
        QTest::addColumn<QString>("silence");
        QTest::addColumn<bool>("escape");
        QTest::newRow("Close, waiting for the greeting") << "--silent" << false;
        QTest::newRow("Close, waiting after the message") << "--silent-data" << false;
        QTest::newRow("Escape, waiting after the message") << "--silent-data" << true;
    }
    void closeDuringASend()
    {
        QFETCH(QString, silence);
        QFETCH(bool, escape);
        startComposing();
        MailServer silent({silence});
        setPreference("smtp", silent.server());
        bool secondSendIgnored = false;
        ui->onModal("TForm9", [&](QDialog &d) {
            child<QPlainTextEdit>(d, "eTo").setPlainText("x@example.org");
            child<QLineEdit>(d, "eSubject").setText("s");
            QTimer::singleShot(200, &d, [&] {
                // A second Send while the first waits is not taken.
                QVERIFY(composer().isSending());
                secondSendIgnored = !child<QAbstractButton>(d, "CoolButton1").isEnabled();
                if (escape)
                    QTest::keyClick(&d, Qt::Key_Escape);
                else
                    child<QAbstractButton>(d, "CoolButton2").click();
            });
            child<QAbstractButton>(d, "CoolButton1").click();
        });
        main().sendQuickMail();
        QVERIFY(secondSendIgnored);
        QCOMPARE(ui->messages.size(), 1);
        QVERIFY2(ui->messages[0].text.endsWith("Canceled."), qPrintable(ui->messages[0].text));
        QVERIFY(!composer().isVisible());
        QVERIFY(!composer().isSending());
        // It opens again and sends.
        MailServer server;
        setPreference("smtp", server.server());
        sendWith("x@example.org", QString(), "again");
        QCOMPARE(ui->messageTexts().last(), "Message Sent");
        QCOMPARE(server.messages().size(), 1);
    }

    // Help from the modal composer takes clicks and keys and closes.
    void helpIsUsableFromTheComposer()
    {
        startComposing();
        ui->onModal("TForm9", [&](QDialog &d) {
            d.findChild<QMenuBar *>()->actions()[3]->menu()->actions()[0]->trigger();
            gui::HelpWindow *help = gui::HelpWindow::instance();
            QVERIFY(help && help->isVisible());
            QVERIFY(QTest::qWaitForWindowExposed(help));
            QTextBrowser *browser = help->browser();
            Presses presses;
            browser->viewport()->installEventFilter(&presses);
            QWindow *window = help->windowHandle();
            QTest::mouseClick(window, Qt::LeftButton, {},
                browser->viewport()->mapTo(help, browser->viewport()->rect().center()));
            QCOMPARE(presses.count, 1);
            browser->setFocus();
            QTest::keyClick(window, Qt::Key_End);
            QVERIFY(browser->verticalScrollBar()->value() > 0);
            QTest::keyClick(window, Qt::Key_Escape);
            QVERIFY(!help->isVisible());
            QVERIFY(d.isVisible());
        });
        main().sendQuickMail();
    }
};

QTEST_MAIN(TestMail)
#include "tst_mail.moc"
