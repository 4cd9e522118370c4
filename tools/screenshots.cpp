// Pictures of the program's windows as a user sees them, for the README and
// for checking by eye that nothing is cut off: starts the program without
// its splash, fills the main window with an encrypted text and saves each
// window as a PNG in the folder given. Run it under a real (or virtual) X
// display, e.g. xvfb-run. A second argument scales the text (1.5: the
// desktop's font half as large again).

#include "cipher/cipher.h"
#include "cipher/windows/keypicker.h"
#include "editor/clipboardwindow.h"
#include "editor/document.h"
#include "editor/findwindow.h"
#include "editor/mainwindow.h"
#include "editor/program.h"
#include "gui/richedit.h"
#include "mail/windows/certificatewindow.h"
#include "mail/windows/passwordwindow.h"
#include "spelling/library.h"
#include "spelling/windows/spellchecking.h"
#include "spelling/windows/spellcheckwindow.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QPixmap>
#include <QScreen>
#include <QSpinBox>
#include <QSslCertificate>
#include <QThread>
#include <QWidget>

#include <cstdio>

namespace {

void settle()
{
    for (int i = 0; i < 10; ++i) {
        QApplication::processEvents();
        QThread::msleep(20);
    }
}

bool save(QWidget *window, const QString &file)
{
    settle();
    const QPixmap shot = window->screen()->grabWindow(window->winId(), 0, 0, -1, -1);
    const QPixmap picture = shot.isNull() || shot.size().isEmpty() ? window->grab() : shot;
    const bool ok = picture.save(file);
    std::printf("%s %s (%dx%d)\n", ok ? "wrote" : "could not write", qPrintable(file),
        window->width(), window->height());
    return ok;
}

// A self-signed certificate for the certificate window's picture.
const char kCertificate[] = "-----BEGIN CERTIFICATE-----\n"
                            "MIIB2TCCAX+gAwIBAgIUEgWsNwmH65+vIByAcrbbuuDPYeswCgYIKoZIzj0EAwIw\n"
                            "MzEaMBgGA1UEAwwRbWFpbC5leGFtcGxlLnRlc3QxFTATBgNVBAoMDEV4YW1wbGUg\n"
                            "TWFpbDAeFw0yNjEyMDkwMjQ2MTlaFw0zNjEyMDYwMjQ2MTlaMDMxGjAYBgNVBAMM\n"
                            "EW1haWwuZXhhbXBsZS50ZXN0MRUwEwYDVQQKDAxFeGFtcGxlIE1haWwwWTATBgcq\n"
                            "hkjOPQIBBggqhkjOPQMBBwNCAARWcdUxhr9CLW/X1CpbzT0RHF7Yzr9FhxThVE9d\n"
                            "4npee/Kf7/42wZQhrq+w8aKfNmOlu1wUwspVeYsnE/c1du/jo3EwbzAdBgNVHQ4E\n"
                            "FgQU6P7gpWax/3zbrv5eIjBldq357bUwHwYDVR0jBBgwFoAU6P7gpWax/3zbrv5e\n"
                            "IjBldq357bUwDwYDVR0TAQH/BAUwAwEB/zAcBgNVHREEFTATghFtYWlsLmV4YW1w\n"
                            "bGUudGVzdDAKBggqhkjOPQQDAgNIADBFAiAQZV0TmLD5kpBZuLWu2qC4Ck6w0oB5\n"
                            "V8UM5GIFrb3muQIhAOeUi6zUV8lvvSTRMQT7fPIWfBvL4Nif4R1G7SyyZEpB\n"
                            "-----END CERTIFICATE-----\n";

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: screenshots FOLDER [TEXT-SCALE]\n");
        return 1;
    }
    if (argc == 3) {
        QFont font = QApplication::font();
        font.setPointSizeF(font.pointSizeF() * QString::fromLocal8Bit(argv[2]).toDouble());
        QApplication::setFont(font);
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());
    editor::Program program({}, editor::StartupOptions::quiet());
    editor::MainWindow &main = program.mainWindow();
    const cipher::Bytes block = cipher::encryptText(
        "Meet me at the old mill at noon.\r\nBring the map.", "correct horse", 3);
    main.editor().setText(QByteArray(block.data(), qsizetype(block.size())));
    bool ok = save(&main, out.filePath(QStringLiteral("main.png")));
    // What the status bar says while Encrypt is at work.
    emit main.document().working(QStringLiteral("Encrypting..."));
    ok = save(&main, out.filePath(QStringLiteral("main-encrypting.png"))) && ok;
    emit main.document().working({});
    for (const char *name :
        {"TForm2", "TForm3", "TForm4", "TForm6", "TForm7", "TForm9", "TForm10", "TForm11"}) {
        QWidget *window = program.window(QString::fromLatin1(name));
        window->show();
        ok = save(window, out.filePath(QString::fromLatin1(name) + QStringLiteral(".png"))) && ok;
        window->hide();
    }
    // The windows made when they are needed.
    const QSslCertificate certificate(QByteArray(kCertificate), QSsl::Pem);
    const QStringList reasons {QStringLiteral("The certificate is self-signed, and untrusted")};
    const QString server = QStringLiteral("mail.example.test:587");
    mail::windows::CertificateWindow untrusted(certificate, reasons, server, {});
    mail::windows::CertificateWindow changed(certificate, reasons, server,
        QStringLiteral("AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:"
                       "CD:EF:01:23:45:67:89"));
    mail::windows::PasswordWindow password(
        QStringLiteral("Password for ann on mail.example.test:"), {});
    mail::windows::PasswordWindow noKeyring(
        QStringLiteral("Password for ann on mail.example.test:"),
        QStringLiteral("No keyring answered, so the password cannot be remembered."));
    // The key picker with keys of every sort, none of them real.
    cipher::windows::KeyPicker picker;
    {
        using cipher::openpgp::Key;
        const Key own {"0123456789ABCDEF0123456789ABCDEF01234567", "89ABCDEF01234567",
            "Ann Example", "ann@example.org", "ultimate", 0, true, {}, true};
        picker.setKeys(
            {own,
                {"1111222233334444555566667777888899990000", "8888999900001111", "Bob Builder",
                    "bob@example.net", "full", 1924992000, true, {}, false},
                {"AAAABBBBCCCCDDDDEEEEFFFF0000111122223333", "2222111122223333", "Carol Old-Key",
                    "carol@example.com", "expired", 1577836800, false, "expired", false},
                {"9999888877776666555544443333222211110000", "3333222211110000", "Dan Signing-Only",
                    "dan@example.org", "unknown", 0, false, "no encryption subkey", false}},
            own);
    }
    const std::pair<QWidget *, const char *> made[] = {{&untrusted, "certificate"},
        {&changed, "certificate-changed"}, {&password, "password"},
        {&noKeyring, "password-no-keyring"}, {&picker, "KeyPicker"}};
    for (const auto &[window, name] : made) {
        window->show();
        ok = save(window, out.filePath(QString::fromLatin1(name) + QStringLiteral(".png"))) && ok;
        window->hide();
    }
    // The windows the main window keeps beside it.
    main.findWindow().showFind();
    ok = save(&main.findWindow(), out.filePath(QStringLiteral("FindWindow.png"))) && ok;
    main.findWindow().showReplace();
    ok = save(&main.findWindow(), out.filePath(QStringLiteral("ReplaceWindow.png"))) && ok;
    main.findWindow().hide();
    if (auto *seconds = main.clipboardWindow().findChild<QSpinBox *>(QStringLiteral("Seconds")))
        seconds->setValue(30);
    main.clipboardWindow().show();
    ok = save(&main.clipboardWindow(), out.filePath(QStringLiteral("ClipboardWindow.png"))) && ok;
    main.clipboardWindow().hide();
    // Checking as you type, and the Spell Check window at its first word.
    main.editor().setText(
        "Dear Anna,\r\nI will be at teh station on Thursday mornig. Bring the "
        "letter and the map; we will wlak to the old mill.\r\n\r\nSee you,\r\nJon");
    ok = save(&main, out.filePath(QStringLiteral("main-spelling.png"))) && ok;
    spelling::windows::SpellChecking &spelling = main.spelling();
    if (spelling.isAvailable()) {
        spelling::windows::SpellCheckWindow &window = spelling.window();
        if (window.begin(spelling::library(), spelling.language())) {
            window.show();
            ok = save(&window, out.filePath(QStringLiteral("SpellCheckWindow.png"))) && ok;
            window.hide();
        }
    }
    return ok ? 0 : 1;
}
