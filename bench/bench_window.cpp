// The real main window on the offscreen platform: Encrypt and Decrypt end to
// end, Open of a saved file and one keystroke, against a bare QTextEdit given
// the same text as the yardstick. Prints one line per measurement.

#include "cipher/decryptdialog.h"
#include "cipher/encryptdialog.h"
#include "editor/mainwindow.h"
#include "editor/program.h"
#include "platform/richedit.h"
#include "platform/scriptedui.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
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
#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <vector>

namespace {

QByteArray linesOfText(qsizetype size)
{
    // 78 printable characters and CR LF: 80-character lines.
    static const char alphabet[] =
        "abcdefghij klmnopqrst uvwxyz ABCDEFGHIJ KLMNOPQRST UVWXYZ 0123456789 .,;:!?()";
    QByteArray out;
    out.reserve(size);
    unsigned state = 1;
    while (out.size() < size) {
        for (int i = 0; i < 78 && out.size() < size; ++i) {
            state = state * 1103515245u + 12345u;
            out.append(alphabet[(state >> 16) % (sizeof(alphabet) - 1)]);
        }
        if (out.size() + 2 <= size)
            out.append("\r\n");
    }
    return out;
}

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

QFont g_editorFont;
QSize g_editorSize;

double yardstick(const QString &text)
{
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
    return t.nsecsElapsed() / 1e9;
}

struct Row
{
    QString what;
    double seconds;
    double reference;
};

void print(const Row &r)
{
    if (r.reference > 0)
        std::printf("%-46s %8.3f s   yardstick %7.3f s   ratio %5.2f\n", qPrintable(r.what),
            r.seconds, r.reference, r.seconds / r.reference);
    else
        std::printf("%-46s %8.3f ms\n", qPrintable(r.what), r.seconds * 1e3);
    std::fflush(stdout);
}

double keystroke(TForm1 *w)
{
    // Insert one character at the end, as typing does, change handler included.
    platform::RichEdit *edit = w->RichEdit1;
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
    QApplication app(argc, argv);
    QTemporaryDir dir;
    platform::ScriptedUi ui;
    Program program({}, StartupOptions::quiet());
    TForm1 *w = program.Form1();
    w->resize(531, 408);
    QApplication::processEvents();
    g_editorFont = w->RichEdit1->document()->defaultFont();
    g_editorSize = w->RichEdit1->size();

    const QString password = QStringLiteral("benchmark");
    for (const qsizetype mb : {1, 8}) {
        const qsizetype size = mb * 1024 * 1024;
        const QByteArray plain = linesOfText(size);
        const QString plainText =
            QString::fromLatin1(plain).replace(QLatin1String("\r\n"), QLatin1String("\n"));
        w->RichEdit1->setText({});
        settle(w->RichEdit1);
        const double empty = heapMb();
        w->RichEdit1->setText(plain);
        settle(w->RichEdit1);
        const double withLines = heapMb() - empty;
        std::printf("%-46s %8.1f MB (%.1f x the text)\n",
            qPrintable(QStringLiteral("Heap for %1 MB of lines, laid out").arg(mb)), withLines,
            withLines / double(mb));

        // Encrypt: the block replaces the text and is laid out on one line.
        ui.onModal(QStringLiteral("TForm2"), [&](QDialog &d) {
            auto &f = static_cast<TForm2 &>(d);
            f.RadioButton3->setChecked(true);
            f.Edit1->setText(password);
            f.Edit2->setText(password);
        });
        QElapsedTimer t;
        ui.onModal(QStringLiteral("TForm2"), [&](QDialog &d) {
            auto &f = static_cast<TForm2 &>(d);
            f.RadioButton3->setChecked(true);
            f.Edit1->setText(password);
            f.Edit2->setText(password);
            t.start();
            f.BitBtn5->click();
            settle(w->RichEdit1);
        });
        w->Button3Click(); // the first script only fills in, to warm up
        w->Button3Click();
        const double encrypt = t.nsecsElapsed() / 1e9;
        const QByteArray block = w->RichEdit1->text();
        const double blockYard = yardstick(QString::fromLatin1(block));
        print({QStringLiteral("Encrypt %1 MB (level 3)").arg(mb), encrypt, blockYard});
        const double withBlock = heapMb() - empty;
        std::printf("%-46s %8.1f MB (%.1f x the text)\n",
            qPrintable(QStringLiteral("Heap for the %1 MB block, laid out").arg(mb)), withBlock,
            withBlock / double(mb));

        // Save, for Open below.
        const QString file = dir.filePath(QStringLiteral("bench%1.vlq").arg(mb));
        w->RichEdit1->saveToFile(file);

        // Decrypt: the lines come back.
        ui.onModal(QStringLiteral("TForm3"), [&](QDialog &d) {
            auto &f = static_cast<TForm3 &>(d);
            f.Edit1->setText(password);
            t.start();
            f.BitBtn6->click();
            settle(w->RichEdit1);
        });
        w->Button4Click();
        const double decrypt = t.nsecsElapsed() / 1e9;
        if (w->RichEdit1->text() != plain)
            std::printf("!! decrypt did not give the text back\n");
        const double linesYard = yardstick(plainText);
        print({QStringLiteral("Decrypt %1 MB").arg(mb), decrypt, linesYard});

        // Open of the saved block.
        w->DocModified = false;
        ui.fileAnswers << file;
        t.start();
        w->Button1Click();
        settle(w->RichEdit1);
        print(
            {QStringLiteral("Open %1 MB saved block").arg(mb), t.nsecsElapsed() / 1e9, blockYard});

        // One keystroke in a document of lines, and in the block's single line.
        w->RichEdit1->setText(plain);
        print({QStringLiteral("Keystroke in %1 MB of lines").arg(mb), keystroke(w), 0});
        if (mb == 1) {
            w->RichEdit1->setText(block);
            print({QStringLiteral("Keystroke in %1 MB single line").arg(mb), keystroke(w), 0});
        }
        w->RichEdit1->setText({});
    }
    return 0;
}
