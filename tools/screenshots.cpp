// Pictures of the program's windows as a user sees them, for the README and
// for checking by eye that nothing is cut off: starts the program without
// its splash, fills the main window with an encrypted text and saves each
// window as a PNG in the folder given. Run it under a real (or virtual) X
// display, e.g. xvfb-run. A second argument scales the text (1.5: the
// desktop's font half as large again).

#include "cipher/cipher.h"
#include "editor/mainwindow.h"
#include "editor/program.h"
#include "gui/richedit.h"
#include "spelling/library.h"
#include "spelling/windows/spellchecking.h"
#include "spelling/windows/spellcheckwindow.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QPixmap>
#include <QScreen>
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
    for (const char *name : {"TForm2", "TForm3", "TForm4", "TForm6", "TForm7", "TForm9", "TForm10", "TForm11"}) {
        QWidget *window = program.window(QString::fromLatin1(name));
        window->show();
        ok = save(window, out.filePath(QString::fromLatin1(name) + QStringLiteral(".png"))) && ok;
        window->hide();
    }
    // Checking as you type, and the Spell Check window at its first word.
    main.editor().setText("Dear Anna,\r\nI will be at teh station on Thursday mornig. Bring the "
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
