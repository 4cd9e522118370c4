// The RTF codec on any bytes: loading never crashes, hangs or runs away with
// memory, and what a load gives survives a save and a second load unchanged.

#include "document/rtfcodec.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // QTextDocument's fonts need a GUI application; no display is needed.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "fuzz_rtf";
    static char *argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace document::rtf;
    const QByteArray raw(reinterpret_cast<const char *>(data), qsizetype(size));

    // As a file would be opened: RTF by its signature, else plain text.
    QTextDocument doc;
    loadBytes(doc, raw);
    // And always through the RTF reader.
    if (!looksLikeRtf(raw))
        loadBytes(doc, "{\\rtf1 " + raw);

    const QByteArray saved = saveBytes(doc);
    QTextDocument again;
    loadBytes(again, saved);
    if (again.toRawText() != doc.toRawText())
        abort();
    if (saveBytes(again) != saved)
        abort();
    return 0;
}
