// The RTF codec: saving and opening documents of 1 MB and 8 MB of text, as
// 80-character lines with some formatting (about one formatted word a line),
// as lines with dense formatting (one word in six), and as one encrypted
// block on a single line. Besides the time, each run reports the file's size
// and the peak memory the operation added, also as a multiple of the file
// size.

#include "document/rtfcodec.h"

#include <QFile>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <string>

namespace {

// A size from /proc/self/status, in bytes (Linux).
long long statusValue(const char *key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ':';
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0)
            return std::atoll(line.c_str() + prefix.size()) * 1024;
    }
    return 0;
}

// Gives freed memory back to the system, so that the resident size is what
// is in use, then starts a new peak there.
void resetPeak()
{
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
}

enum Kind { Lines = 0, Dense = 1, Block = 2 };

// `size` characters of text: 80-character lines where some words are bold,
// italic, underlined or in another font, or one line of encrypted block.
std::unique_ptr<QTextDocument> makeDocument(Kind kind, qsizetype size)
{
    auto doc = std::make_unique<QTextDocument>();
    doc->setUndoRedoEnabled(false);
    QTextCursor c(doc.get());
    c.beginEditBlock();
    QRandomGenerator rng(1);
    if (kind == Block) {
        QString text;
        text.reserve(size);
        text += QStringLiteral("[Encrypted_By_Velmorandquist][Begin_Encryption]");
        while (text.size() < size - 16)
            text += rng.bounded(20) == 0 ? QChar(31) : QChar(char16_t(33 + rng.bounded(94)));
        text += QStringLiteral("[End_Encryption]");
        c.insertText(text);
    } else {
        const QString words[] = {QStringLiteral("lorem"), QStringLiteral("ipsum"),
            QStringLiteral("dolor"), QStringLiteral("sit"), QStringLiteral("amet,"),
            QStringLiteral("caf\u00e9"), QStringLiteral("na\u00efve"), QStringLiteral("{x}")};
        QTextCharFormat plain;
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        QTextCharFormat italic;
        italic.setFontItalic(true);
        italic.setForeground(QColor(200, 0, 0));
        QTextCharFormat mono;
        mono.setFontFamilies(QStringList {QStringLiteral("DejaVu Sans Mono")});
        mono.setFontPointSize(10);
        mono.setFontUnderline(true);
        const QTextCharFormat *formats[] = {&bold, &italic, &mono};
        // One word in 13, or one in 6, has formatting of its own.
        const quint32 oneIn = kind == Dense ? 6 : 13;
        qsizetype written = 0;
        while (written < size) {
            if (written > 0)
                c.insertBlock();
            qsizetype line = 0;
            while (line < 79) {
                const QString &w = words[rng.bounded(8)];
                const QString piece = (line > 0 ? QStringLiteral(" ") : QString()) + w;
                c.insertText(piece, rng.bounded(oneIn) == 0 ? *formats[rng.bounded(3)] : plain);
                line += piece.size();
            }
            written += line + 2;
        }
    }
    c.endEditBlock();
    return doc;
}

void report(benchmark::State &state, qint64 fileSize, long long peak)
{
    state.counters["file_MB"] = double(fileSize) / (1 << 20);
    state.counters["peak_MB"] = double(peak) / (1 << 20);
    state.counters["peak_x_file"] = double(peak) / double(fileSize);
}

void BM_Save(benchmark::State &state)
{
    const auto doc = makeDocument(Kind(state.range(0)), state.range(1) << 20);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("doc.vlq"));
    long long peak = 0;
    for (auto _ : state) {
        resetPeak();
        const long long base = statusValue("VmRSS");
        document::rtf::saveFile(*doc, path);
        peak = std::max(peak, statusValue("VmHWM") - base);
    }
    report(state, QFile(path).size(), peak);
}

void BM_Open(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("doc.vlq"));
    document::rtf::saveFile(*makeDocument(Kind(state.range(0)), state.range(1) << 20), path);
    long long peak = 0;
    for (auto _ : state) {
        resetPeak();
        const long long base = statusValue("VmRSS");
        {
            QTextDocument doc;
            document::rtf::loadFile(doc, path);
            peak = std::max(peak, statusValue("VmHWM") - base);
        }
    }
    report(state, QFile(path).size(), peak);
}

void arguments(benchmark::internal::Benchmark *b)
{
    b->ArgNames({"kind", "MB"});
    for (const int kind : {Lines, Dense, Block}) {
        for (const int mb : {1, 8})
            b->Args({kind, mb});
    }
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Save)->Apply(arguments);
BENCHMARK(BM_Open)->Apply(arguments);

} // namespace

int main(int argc, char **argv)
{
    // QTextDocument's fonts need a GUI application; no display is needed.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
