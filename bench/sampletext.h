#pragma once

// Texts the window benchmarks open and encrypt: lines of words, the same
// every run.

#include <QByteArray>

namespace bench {

// Lines of `width` printable characters (words and punctuation), each ended
// by lineEnd, up to `size` bytes.
inline QByteArray linesOfText(qsizetype size, int width, const QByteArray &lineEnd)
{
    static const char alphabet[] =
        "abcdefghij klmnopqrst uvwxyz ABCDEFGHIJ KLMNOPQRST UVWXYZ 0123456789 .,;:!?()";
    QByteArray out;
    out.reserve(size);
    unsigned state = 1;
    while (out.size() < size) {
        for (int i = 0; i < width && out.size() < size; ++i) {
            state = state * 1103515245u + 12345u;
            out.append(alphabet[(state >> 16) % (sizeof(alphabet) - 1)]);
        }
        if (out.size() + lineEnd.size() <= size)
            out.append(lineEnd);
    }
    return out;
}

} // namespace bench
