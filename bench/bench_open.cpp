// Open of large files in the editor control, laid out to the last line as a
// window shows it, against a bare QTextEdit given the same text by
// setPlainText in the same run: 10 and 50 MB of 81-character lines and an
// RTF file of 1 million short paragraphs; alone, the reading of 1 and 3
// million paragraphs without layout, and single lines of 1 and 8 MB without
// blanks. Prints one line per measurement; arguments choose the measurements
// by name ("lines", "paragraphs", "noblanks"), none runs them all.

#include "document/rtfcodec.h"
#include "gui/richedit.h"

#include "bench/sampletext.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>

#include <algorithm>
#include <cstdio>

namespace {

// The editor's size in a main window of the default size.
const QSize kEditorSize(515, 340);

// One line of printable characters without a blank, as an encrypted block
// without line breaks looks.
QByteArray noBlanks(qsizetype size)
{
    QByteArray out(size, Qt::Uninitialized);
    unsigned state = 7;
    for (char &c : out) {
        state = state * 1103515245u + 12345u;
        c = char('a' + (state >> 16) % 26);
    }
    return out;
}

// An RTF file of `count` paragraphs of a few letters each.
QByteArray paragraphs(int count)
{
    QByteArray out = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20\r\n";
    out.reserve(out.size() + qsizetype(count) * 6 + 4);
    for (int i = 0; i < count; ++i) {
        out.append(char('a' + i % 26));
        out.append("\\par\r\n");
    }
    out.append('}');
    return out;
}

// Lays the whole document out, as the window shows it, down to its last line.
void settle(QTextEdit &edit)
{
    edit.document()->documentLayout()->documentSize();
    QApplication::processEvents();
    const QTextBlock last = edit.document()->lastBlock();
    if (!last.layout() || last.layout()->lineCount() == 0)
        std::printf("!! the document is not laid out to its end\n");
}

double openInEditor(const QString &path)
{
    gui::RichEdit edit;
    edit.resize(kEditorSize);
    edit.show();
    QApplication::processEvents();
    QElapsedTimer t;
    t.start();
    edit.loadFromFile(path);
    settle(edit);
    return double(t.nsecsElapsed()) / 1e9;
}

// The yardstick: the same text given to a bare QTextEdit, with the editor's
// font so that both lay out the same lines.
double setPlainText(const QString &text, const QFont &font)
{
    QTextEdit edit;
    edit.document()->setDefaultFont(font);
    edit.resize(kEditorSize);
    edit.show();
    QApplication::processEvents();
    QElapsedTimer t;
    t.start();
    edit.setPlainText(text);
    settle(edit);
    return double(t.nsecsElapsed()) / 1e9;
}

void compare(const QString &what, const QString &path, const QString &text, const QFont &font)
{
    // Twice each, in the order A B B A, the best of each: the first of a
    // run pays for the memory the process does not have yet.
    double open = openInEditor(path);
    std::printf("%-40s %8.3f s", qPrintable(what), open);
    std::fflush(stdout);
    double yard = setPlainText(text, font);
    yard = std::min(yard, setPlainText(text, font));
    open = std::min(open, openInEditor(path));
    std::printf(" best %8.3f s   setPlainText %8.3f s   ratio %5.2f\n", open, yard, open / yard);
    std::fflush(stdout);
}

bool save(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList chosen = app.arguments().mid(1);
    const auto wanted = [&](const char *name) {
        return chosen.isEmpty() || chosen.contains(QLatin1String(name));
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("open.txt"));
    const QFont font = gui::RichEdit().document()->defaultFont();

    if (wanted("lines")) {
        for (const int mb : {10, 50}) {
            const QByteArray bytes = bench::linesOfText(qsizetype(mb) << 20, 80, "\n");
            if (!save(path, bytes))
                return 1;
            compare(QStringLiteral("Open %1 MB of lines").arg(mb), path,
                QString::fromLatin1(bytes.chopped(1)), font);
        }
    }
    if (wanted("paragraphs")) {
        // Open in the editor only of 1 million: from about 1.7 million lines
        // at the editor's font the document is taller than the 2^25 pixels
        // Qt's layout counts in, and QTextEdit takes many minutes, with
        // setPlainText just the same.
        for (const int count : {1'000'000, 3'000'000}) {
            const QByteArray rtf = paragraphs(count);
            const QString what = QStringLiteral("RTF of %1 MB, %2 million paragraphs")
                                     .arg(double(rtf.size()) / (1 << 20), 0, 'f', 0)
                                     .arg(count / 1'000'000);
            QTextDocument doc;
            QElapsedTimer t;
            t.start();
            document::rtf::loadBytes(doc, rtf);
            std::printf("%-40s %8.3f s\n",
                qPrintable(QStringLiteral("Read %1, no layout").arg(what)),
                double(t.nsecsElapsed()) / 1e9);
            std::fflush(stdout);
            if (count > 1'000'000)
                continue;
            if (!save(path, rtf))
                return 1;
            QString text;
            text.reserve(qsizetype(count) * 2);
            for (int i = 0; i < count; ++i) {
                if (i > 0)
                    text.append(u'\n');
                text.append(QChar(u'a' + i % 26));
            }
            compare(QStringLiteral("Open %1").arg(what), path, text, font);
        }
    }
    if (wanted("noblanks")) {
        for (const int mb : {1, 8}) {
            const QByteArray bytes = noBlanks(qsizetype(mb) << 20);
            if (!save(path, bytes))
                return 1;
            // No yardstick: a bare QTextEdit takes minutes on such lines.
            std::printf("%-40s %8.3f s\n",
                qPrintable(QStringLiteral("Open %1 MB line without blanks").arg(mb)),
                openInEditor(path));
            std::fflush(stdout);
        }
    }
    return 0;
}
