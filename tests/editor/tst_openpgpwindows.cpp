// OpenPGP through the windows, against the gpg command in a GnuPG home of
// the test's own: the Encrypt window's OpenPGP method, Encrypt for
// Recipients with its key picker driven by the keyboard, and Decrypt saying
// what a message needs before it asks anything.

#include "editor/mainwindow.h"
#include "editor/program.h"
#include "gui/richedit.h"
#include "tests/support/gnupghome.h"
#include "tests/support/scriptedmodal.h"

#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextCursor>
#include <QTreeWidget>

#include <cstdlib>
#include <memory>

using namespace testsupport;
using namespace editor;

class TestOpenPgpWindows : public QObject
{
    Q_OBJECT

    std::unique_ptr<GnuPGHome> home;
    std::unique_ptr<ScriptedModal> ui;
    std::unique_ptr<Program> program;
    MainWindow *w = nullptr;

    gui::RichEdit *edit() const { return &w->editor(); }
    void caretAt(const QString &text)
    {
        QTextCursor c(edit()->document());
        c.setPosition(int(edit()->document()->toRawText().indexOf(text)));
        edit()->setTextCursor(c);
    }
    QStringList modals() const { return ui->log.filter(QStringLiteral("modal ")); }

private slots:
    void init()
    {
        home = std::make_unique<GnuPGHome>();
        QVERIFY(home->isValid());
        ui = std::make_unique<ScriptedModal>();
        program = std::make_unique<Program>(QString(), StartupOptions::quiet());
        w = &program->mainWindow();
        QTRY_VERIFY(w->hasStartedUp());
    }
    void cleanup()
    {
        program.reset();
        ui.reset();
        home.reset();
    }

    void passwordMessagesBothWays()
    {
        const QString plain = QStringLiteral("Gr\u00fc\u00dfe, \u20ac 5\r\nsecond line");
        const QString pw = QStringLiteral("any password");
        edit()->setCharacters(plain);
        ui->onModal(QStringLiteral("TForm2"), [&](QDialog &d) {
            auto &method = child<QRadioButton>(d, "RadioButton5");
            QCOMPARE(method.text(), QStringLiteral("&OpenPGP"));
            method.setChecked(true);
            child<QLineEdit>(d, "Edit1").setText(pw);
            child<QLineEdit>(d, "Edit2").setText(pw);
            child<QPushButton>(d, "BitBtn5").click();
        });
        w->encrypt();
        QVERIFY(ui->messages.isEmpty());
        const QString armored = edit()->characters();
        QVERIFY(armored.startsWith(QStringLiteral("-----BEGIN PGP MESSAGE-----")));
        // The toolbars' Decrypt follows OpenPGP messages as it follows ours.
        QVERIFY(w->captionRow().button(ToolbarRow::Decrypt)->isEnabled());
        // Any OpenPGP program reads it.
        const Run read = home->gpg({QStringLiteral("-d")}, armored.toUtf8(), pw);
        QCOMPARE(read.status, 0);
        QCOMPARE(QString::fromUtf8(read.out), plain);

        // Quoted in a reply, after a message of gpg's own: the one at the
        // caret opens, the rest stays.
        const Run made = home->gpg(
            {QStringLiteral("-c"), QStringLiteral("-a")}, "from gpg\n", QStringLiteral("other"));
        QCOMPARE(made.status, 0);
        QString quoted = armored;
        quoted.replace(QStringLiteral("\r\n"), QStringLiteral("\r\n> "));
        const QString mail = QStringLiteral("Hi,\r\n")
            + QString::fromLatin1(made.out).trimmed().replace(
                QStringLiteral("\n"), QStringLiteral("\r\n"))
            + QStringLiteral("\r\nYou wrote:\r\n> ") + quoted + QStringLiteral("\r\nBye");
        edit()->setCharacters(mail);
        caretAt(QStringLiteral("> -----BEGIN"));
        edit()->moveCursor(QTextCursor::Down);
        ui->onModal(QStringLiteral("TForm3"), [&](QDialog &d) {
            // Said before the password is asked.
            QCOMPARE(w->notice(), QStringLiteral("OpenPGP message for a password"));
            child<QLineEdit>(d, "Edit1").setText(QStringLiteral("wrong one"));
            child<QPushButton>(d, "BitBtn6").click();
        });
        w->decrypt();
        QCOMPARE(ui->messageTexts(), QStringList {QStringLiteral("Incorrect password.")});
        QCOMPARE(edit()->characters(), mail);
        ui->messages.clear();
        caretAt(QStringLiteral("> -----BEGIN"));
        edit()->moveCursor(QTextCursor::Down);
        ui->onModal(QStringLiteral("TForm3"), [&](QDialog &d) {
            child<QLineEdit>(d, "Edit1").setText(pw);
            child<QPushButton>(d, "BitBtn6").click();
        });
        w->decrypt();
        QVERIFY(ui->messages.isEmpty());
        QVERIFY(w->holdsDecryptedText());
        const QString opened = edit()->characters();
        QVERIFY(opened.startsWith(QStringLiteral("Hi,\r\n-----BEGIN PGP MESSAGE-----")));
        QVERIFY(
            opened.endsWith(QStringLiteral("You wrote:\r\n") + plain + QStringLiteral("\r\nBye")));
    }

    void recipientsByKeyboardAndWhatDecryptNeeds()
    {
        const QString alice =
            QString::fromLatin1(home->makeKey(QStringLiteral("Alice <alice@example.org>")));
        // Bob's key as a correspondent's: its public half only.
        const QString bob =
            QString::fromLatin1(home->makeKey(QStringLiteral("Bob <bob@example.org>")));
        home->forgetSecretKey(bob.toLatin1());
        // A key that expired long ago, shown but not to be chosen.
        home->makeKey(QStringLiteral("Old <old@example.org>"), false,
            {QStringLiteral("--faked-system-time"), QStringLiteral("20200101T000000")},
            QStringLiteral("1d"));
        QVERIFY(!alice.isEmpty() && !bob.isEmpty());

        edit()->setCharacters(QStringLiteral("for Bob's eyes"));
        ui->onModal(QStringLiteral("KeyPicker"), [&](QDialog &d) {
            auto &keys = child<QTreeWidget>(d, "Keys");
            QCOMPARE(keys.topLevelItemCount(), 3);
            const QList<QTreeWidgetItem *> old =
                keys.findItems(QStringLiteral("Old"), Qt::MatchExactly);
            QCOMPARE(old.size(), 1);
            QVERIFY(!(old[0]->flags() & Qt::ItemIsEnabled));
            QCOMPARE(old[0]->text(3), QStringLiteral("expired"));
            QVERIFY(child<QCheckBox>(d, "Myself").isChecked());
            QVERIFY(child<QCheckBox>(d, "Myself").text().contains("alice@example.org"));
            // The search has the focus: type, go down into the list, tick, encrypt.
            QTest::keyClicks(d.focusWidget(), QStringLiteral("bob"));
            QTest::keyClick(d.focusWidget(), Qt::Key_Tab);
            QCOMPARE(d.focusWidget(), &keys);
            QTest::keyClick(&keys, Qt::Key_Space);
            QTest::keyClick(&keys, Qt::Key_Return);
        });
        w->encryptForRecipients();
        QVERIFY2(ui->messages.isEmpty(), qPrintable(ui->messageTexts().join('|')));
        const QByteArray message = edit()->characters().toUtf8();
        QVERIFY(message.startsWith("-----BEGIN PGP MESSAGE-----"));
        // For Bob and for Alice herself.
        const Run packets = home->gpg({QStringLiteral("--list-packets")}, message);
        QCOMPARE(packets.out.count("pubkey enc packet"), 2);

        // Alice holds her key: GnuPG opens it without our password window.
        ui->log.clear();
        w->decrypt();
        QVERIFY2(ui->messages.isEmpty(), qPrintable(ui->messageTexts().join('|')));
        QCOMPARE(edit()->characters(), QStringLiteral("for Bob's eyes"));
        QVERIFY(modals().isEmpty());

        // For Bob alone: refused with his key named, nothing asked.
        const Run forBob =
            home->gpg({QStringLiteral("--trust-model"), QStringLiteral("always"),
                          QStringLiteral("-e"), QStringLiteral("-a"), QStringLiteral("-r"), bob},
                "not yours\n");
        edit()->setCharacters(QString::fromLatin1(forBob.out));
        ui->log.clear();
        w->decrypt();
        QVERIFY(modals().isEmpty());
        QCOMPARE(ui->messages.size(), 1);
        QCOMPARE(ui->messages[0].caption, QStringLiteral("WARNING"));
        // Named by the key the message names (Bob's encryption subkey), with his name.
        const QByteArray packets2 = home->gpg({QStringLiteral("--list-packets")}, forBob.out).out;
        const qsizetype at = packets2.indexOf("keyid ");
        QVERIFY(at >= 0);
        const QString keyId = QString::fromLatin1(packets2.mid(at + 6, 16));
        QVERIFY2(ui->messages[0].text.contains(keyId, Qt::CaseInsensitive)
                && ui->messages[0].text.contains(QStringLiteral("Bob")),
            qPrintable(ui->messages[0].text + keyId));
        QCOMPARE(edit()->characters(),
            QString::fromLatin1(forBob.out).replace(QStringLiteral("\n"), QStringLiteral("\r\n")));
        ui->messages.clear();

        // Signed by Alice: opened, and the signature's verdict shown.
        const Run signedMessage =
            home->gpg({QStringLiteral("-s"), QStringLiteral("-e"), QStringLiteral("-a"),
                          QStringLiteral("-u"), alice, QStringLiteral("-r"), alice},
                "signed\n");
        edit()->setCharacters(QString::fromLatin1(signedMessage.out).trimmed());
        w->decrypt();
        QVERIFY(ui->messages.isEmpty());
        QCOMPARE(edit()->characters(), QStringLiteral("signed\r\n"));
        QVERIFY2(w->notice().startsWith(QStringLiteral("Good signature by Alice")),
            qPrintable(w->notice()));

        // Only signed, in a reply: opened without a question, verdict shown.
        const Run clearSigned =
            home->gpg({QStringLiteral("-s"), QStringLiteral("-a"), QStringLiteral("-u"), alice},
                "only signed\n");
        edit()->setCharacters(QStringLiteral("> ")
            + QString::fromLatin1(clearSigned.out)
                  .trimmed()
                  .replace(QStringLiteral("\n"), QStringLiteral("\r\n> ")));
        ui->log.clear();
        w->decrypt();
        QVERIFY(modals().isEmpty());
        QVERIFY2(ui->messages.isEmpty(), qPrintable(ui->messageTexts().join('|')));
        QCOMPARE(edit()->characters(), QStringLiteral("only signed\r\n"));
        QVERIFY(w->notice().startsWith(QStringLiteral("Good signature by Alice")));
    }
};

QTEST_MAIN(TestOpenPgpWindows)
#include "tst_openpgpwindows.moc"
