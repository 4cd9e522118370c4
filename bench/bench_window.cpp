// The real main window on the offscreen platform: Encrypt and Decrypt end to
// end, Open of a saved file and one keystroke, against a bare QTextEdit given
// the same text as the yardstick. Prints one line per measurement, the whole
// run with checking as you type on (the default) and off in the order on,
// off, off, on, so that neither gains from running later in the process,
// then each figure's mean for both and their ratio.

#include "bench/sampletext.h"
#include "editor/mainwindow.h"
#include "editor/program.h"
#include "gui/richedit.h"
#include "tests/support/scriptedmodal.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>

#include <QHash>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <vector>

using editor::MainWindow;
using editor::Program;
using editor::StartupOptions;
using testsupport::child;

namespace {

// Heap in use, in MB: what the document and its layout hold, without what
// the allocator keeps in reserve.
double heapMb()
{
    return double(mallinfo2().uordblks) / (1024.0 * 1024.0);
}

void settle(QTextEdit *edit)
{
    // Lay the whole document out, as the window shows it, down to its last
    // line.
    edit->document()->documentLayout()->documentSize();
    QApplication::processEvents();
    const QTextBlock last = edit->document()->lastBlock();
    if (!last.layout() || last.layout()->lineCount() == 0)
        std::printf("!! the document is not laid out to its end\n");
}

// The first pass pays for the memory the process takes from the system,
// whatever it measures, so it is run without being shown.
bool g_quiet = false;

QFont g_editorFont;
QSize g_editorSize;

// Measured once per text: it does not depend on checking as you type.
QHash<QString, double> g_yardsticks;

double yardstick(const QString &name, const QString &text)
{
    if (g_yardsticks.contains(name))
        return g_yardsticks[name];
    QTextEdit edit;
    // The same font and size as the window's editor, so the two lay out the
    // same lines.
    edit.document()->setDefaultFont(g_editorFont);
    edit.resize(g_editorSize);
    edit.show();
    QApplication::processEvents();
    QElapsedTimer t;
    t.start();
    edit.setPlainText(text);
    settle(&edit);
    const double seconds = t.nsecsElapsed() / 1e9;
    if (!g_quiet)
        g_yardsticks[name] = seconds;
    return seconds;
}

struct Row
{
    QString what;
    double seconds;
    double reference;
};

template<typename... Args> void say(const char *format, Args... args)
{
    if (!g_quiet)
        std::printf(format, args...);
}

// Each figure's values with checking on and off, in the order first shown.
QStringList g_figures;
QHash<QString, std::vector<double>> g_values[2];
bool g_on = true;

void print(const Row &r)
{
    if (g_quiet)
        return;
    if (!g_figures.contains(r.what))
        g_figures << r.what;
    g_values[g_on ? 1 : 0][r.what].push_back(r.seconds);
    if (r.reference > 0)
        std::printf("%-46s %8.3f s   yardstick %7.3f s   ratio %5.2f\n", qPrintable(r.what),
            r.seconds, r.reference, r.seconds / r.reference);
    else
        std::printf("%-46s %8.3f ms\n", qPrintable(r.what), r.seconds * 1e3);
    std::fflush(stdout);
}

double keystroke(MainWindow *w)
{
    // Insert one character at the end, as typing does, change handler and
    // checking as you type included.
    gui::RichEdit *edit = &w->editor();
    QTextCursor c = edit->textCursor();
    c.movePosition(QTextCursor::End);
    edit->setTextCursor(c);
    settle(edit);
    std::vector<double> times;
    for (int i = 0; i < 15; ++i) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        QElapsedTimer t;
        t.start();
        QApplication::sendEvent(edit, &press);
        QApplication::sendEvent(edit, &release);
        QApplication::processEvents();
        times.push_back(t.nsecsElapsed() / 1e9);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Settings of its own: the run switches checking as you type off, and
    // the user's settings stay as they are.
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
    QApplication app(argc, argv);
    testsupport::ScriptedModal ui;
    Program program({}, StartupOptions::quiet());
    MainWindow *w = &program.mainWindow();
    w->resize(531, 408);
    QApplication::processEvents();
    g_editorFont = w->editor().document()->defaultFont();
    g_editorSize = w->editor().size();

    const QString password = QStringLiteral("benchmark");
    QAction *checking = w->findChild<QAction *>(QStringLiteral("CheckAsYouType1"));
    if (!checking || !checking->isChecked())
        std::printf("!! checking as you type is not on by default\n");
    for (const int pass : {0, 1, 2, 3, 4}) {
        const bool on = pass == 0 || pass == 1 || pass == 4;
        g_quiet = pass == 0;
        g_on = on;
        if (checking->isChecked() != on)
            checking->trigger();
        say("-- Checking as you type %s\n", on ? "on" : "off");
        for (const qsizetype mb : {1, 8}) {
            const qsizetype size = mb * 1024 * 1024;
            // 80-character lines.
            const QByteArray plain = bench::linesOfText(size, 78, "\r\n");
            const QString plainText =
                QString::fromLatin1(plain).replace(QLatin1String("\r\n"), QLatin1String("\n"));
            w->editor().setText({});
            settle(&w->editor());
            const double empty = heapMb();
            w->editor().setText(plain);
            settle(&w->editor());
            const double withLines = heapMb() - empty;
            say("%-46s %8.1f MB (%.1f x the text)\n",
                qPrintable(QStringLiteral("Heap for %1 MB of lines, laid out").arg(mb)), withLines,
                withLines / double(mb));

            // Encrypt: the block replaces the text and is laid out on one line.
            ui.onModal(QStringLiteral("TForm2"), [&](QDialog &d) {
                child<QRadioButton>(d, "RadioButton3").setChecked(true);
                child<QLineEdit>(d, "Edit1").setText(password);
                child<QLineEdit>(d, "Edit2").setText(password);
            });
            QElapsedTimer t;
            ui.onModal(QStringLiteral("TForm2"), [&](QDialog &d) {
                child<QRadioButton>(d, "RadioButton3").setChecked(true);
                child<QLineEdit>(d, "Edit1").setText(password);
                child<QLineEdit>(d, "Edit2").setText(password);
                t.start();
                child<QPushButton>(d, "BitBtn5").click();
                settle(&w->editor());
            });
            w->encrypt(); // the first script only fills in, to warm up
            w->encrypt();
            const double encrypt = t.nsecsElapsed() / 1e9;
            const QByteArray block = w->editor().text();
            const double blockYard = yardstick(QStringLiteral("block%1").arg(mb), QString::fromLatin1(block));
            print({QStringLiteral("Encrypt %1 MB (level 3)").arg(mb), encrypt, blockYard});
            const double withBlock = heapMb() - empty;
            say("%-46s %8.1f MB (%.1f x the text)\n",
                qPrintable(QStringLiteral("Heap for the %1 MB block, laid out").arg(mb)), withBlock,
                withBlock / double(mb));

            // Save, for Open below.
            const QString file = dir.filePath(QStringLiteral("bench%1.vlq").arg(mb));
            w->editor().saveToFile(file);

            // Decrypt: the lines come back.
            ui.onModal(QStringLiteral("TForm3"), [&](QDialog &d) {
                child<QLineEdit>(d, "Edit1").setText(password);
                t.start();
                child<QPushButton>(d, "BitBtn6").click();
                settle(&w->editor());
            });
            w->decrypt();
            const double decrypt = t.nsecsElapsed() / 1e9;
            if (w->editor().text() != plain)
                std::printf("!! decrypt did not give the text back\n");
            const double linesYard = yardstick(QStringLiteral("lines%1").arg(mb), plainText);
            print({QStringLiteral("Decrypt %1 MB").arg(mb), decrypt, linesYard});

            // Open of the saved block.
            // Not modified: the scripted save question answers No anyway.
            ui.fileAnswers << file;
            t.start();
            w->openFile();
            settle(&w->editor());
            print({QStringLiteral("Open %1 MB saved block").arg(mb), t.nsecsElapsed() / 1e9,
                blockYard});

            // One keystroke in a document of lines, at the end of the block's
            // single line, and on a line of its own after the block.
            w->editor().setText(plain);
            print({QStringLiteral("Keystroke in %1 MB of lines").arg(mb), keystroke(w), 0});
            w->editor().setText(block);
            print({QStringLiteral("Keystroke in %1 MB single line").arg(mb), keystroke(w), 0});
            w->editor().setText(block + "\r\nSee you ");
            print({QStringLiteral("Keystroke after the %1 MB block").arg(mb), keystroke(w), 0});
            w->editor().setText({});
        }
    }
    std::printf("-- Means: checking as you type on, off, and on / off\n");
    for (const QString &what : std::as_const(g_figures)) {
        double mean[2];
        for (const int on : {0, 1}) {
            const std::vector<double> &v = g_values[on][what];
            double sum = 0;
            for (const double x : v)
                sum += x;
            mean[on] = v.empty() ? 0 : sum / double(v.size());
        }
        const bool ms = what.startsWith(QLatin1String("Keystroke"));
        const double unit = ms ? 1e3 : 1;
        std::printf("%-46s %9.3f %9.3f %s   %5.2f\n", qPrintable(what), mean[1] * unit,
            mean[0] * unit, ms ? "ms" : "s ", mean[0] > 0 ? mean[1] / mean[0] : 0.0);
    }
    return 0;
}
