// Checking as you type in the real main window, offscreen, with Debian's
// hunspell-en-us: one keystroke in 1 MB and 8 MB of text with checking off
// and on (at the end and in the middle of the text), a page scrolled (the
// lines come into view unchecked), and setting the whole text. Two texts:
// lines of English words (about one in twenty misspelled) and lines of
// random letters (every word unknown: the engine is asked for each). Each
// keystroke and scroll is timed with the turn of the event loop after it,
// where the check runs: what one frame holds. Prints one line per
// measurement.

#include "bench/sampletext.h"
#include "editor/mainwindow.h"
#include "editor/program.h"
#include "gui/richedit.h"
#include "gui/spellunderline.h"
#include "spelling/library.h"
#include "spelling/windows/spellchecking.h"
#include "tests/support/scriptedmodal.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <cstdio>
#include <vector>

using editor::MainWindow;

namespace {

void settle(gui::RichEdit &edit)
{
    edit.document()->documentLayout()->documentSize();
    QApplication::processEvents();
}

struct Keystrokes
{
    double median = 0;
    double worst = 0;
};

// Types 25 characters at the end, each as the keyboard sends it, with the
// turn of the event loop that follows it (where a slice of the first pass
// may run): what one frame holds.
Keystrokes keystrokes(gui::RichEdit &edit, bool atEnd = true)
{
    if (atEnd) {
        QTextCursor c = edit.textCursor();
        c.movePosition(QTextCursor::End);
        edit.setTextCursor(c);
    }
    settle(edit);
    std::vector<double> times;
    for (int i = 0; i < 25; ++i) {
        const bool blank = i % 6 == 5;
        const Qt::Key key = blank ? Qt::Key_Space : Qt::Key_E;
        const QString text = blank ? QStringLiteral(" ") : QStringLiteral("e");
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
        QElapsedTimer t;
        t.start();
        QApplication::sendEvent(&edit, &press);
        QApplication::sendEvent(&edit, &release);
        QApplication::processEvents();
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.back()};
}

void row(const QString &what, double ms)
{
    std::printf("%-58s %10.2f ms\n", qPrintable(what), ms);
    std::fflush(stdout);
}

void row(const QString &what, const Keystrokes &k)
{
    std::printf("%-58s %10.2f ms   worst %7.2f ms\n", qPrintable(what), k.median, k.worst);
    std::fflush(stdout);
}

// Scrolls a page down, then back up, 20 times, with the turn after each.
Keystrokes pages(gui::RichEdit &edit)
{
    std::vector<double> times;
    QScrollBar *down = edit.verticalScrollBar();
    const int start = down->value();
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer t;
        t.start();
        down->setValue(start + (i + 1) * down->pageStep());
        QApplication::processEvents();
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.back()};
}

void toMiddle(gui::RichEdit &edit)
{
    QTextCursor c(edit.document()->findBlockByNumber(edit.document()->blockCount() / 2));
    edit.setTextCursor(c);
    edit.ensureCursorVisible();
    QApplication::processEvents();
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The settings and word lists of this run only.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    qputenv("ENCHANT_CONFIG_DIR", QFile::encodeName(home.filePath(QStringLiteral("enchant"))));
    QApplication app(argc, argv);
    spelling::Library library({QStringLiteral("hunspell")});
    if (!library.checker(QStringLiteral("en_US"))) {
        std::fprintf(stderr, "hunspell-en-us is not installed\n");
        return 1;
    }
    spelling::installLibrary(&library);
    testsupport::ScriptedModal ui;
    {
        editor::Program program({}, editor::StartupOptions::quiet());
        MainWindow &w = program.mainWindow();
        w.resize(531, 408);
        QApplication::processEvents();
        gui::RichEdit &edit = w.editor();
        spelling::windows::SpellChecking &spelling = w.spelling();
        gui::SpellUnderline &underline = spelling.underline();

        for (const bool words : {true, false}) {
            const char *kind = words ? "words" : "random letters";
            for (const qsizetype mb : {1, 8}) {
                const QByteArray text = words ? bench::linesOfWords(mb << 20, 78, "\r\n")
                                              : bench::linesOfText(mb << 20, 78, "\r\n");
                const QString name = QStringLiteral("%1 MB of %2").arg(mb).arg(QLatin1String(kind));
                for (const bool on : {false, true}) {
                    const QString checking = on ? QStringLiteral("on") : QStringLiteral("off");
                    spelling.setChecksAsYouType(on);
                    edit.setText({});
                    QApplication::processEvents();
                    QElapsedTimer t;
                    t.start();
                    edit.setText(text);
                    while (!underline.isUpToDate())
                        QApplication::processEvents();
                    row(QStringLiteral("Set the text, checking %1, %2").arg(checking, name),
                        t.nsecsElapsed() / 1e6);
                    // Where every paragraph stands to the encrypted block is
                    // worked out as far as the view: at the end, all of them.
                    t.start();
                    QTextCursor end(edit.document());
                    end.movePosition(QTextCursor::End);
                    edit.setTextCursor(end);
                    edit.ensureCursorVisible();
                    while (!underline.isUpToDate())
                        QApplication::processEvents();
                    row(QStringLiteral("To the end at once, checking %1").arg(checking),
                        t.nsecsElapsed() / 1e6);
                    settle(edit);
                    row(QStringLiteral("Keystroke at the end, checking %1, %2").arg(checking, name),
                        keystrokes(edit));
                    toMiddle(edit);
                    row(QStringLiteral("Keystroke in the middle, checking %1").arg(checking),
                        keystrokes(edit, false));
                    row(QStringLiteral("A page down, checking %1").arg(checking), pages(edit));
                }
                edit.setText({});
                QApplication::processEvents();
            }
        }
    }
    spelling::installLibrary(nullptr);
    return 0;
}
