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

// Lines of English words about `width` characters long, ended by lineEnd,
// up to `size` bytes; about one word in twenty is misspelled, as in a
// hastily typed letter.
inline QByteArray linesOfWords(qsizetype size, int width, const QByteArray &lineEnd)
{
    static const char *const words[] = {"the", "of", "and", "to", "in", "is", "you", "that", "it",
        "he", "was", "for", "on", "are", "as", "with", "his", "they", "at", "be", "this", "have",
        "from", "or", "one", "had", "by", "word", "but", "not", "what", "all", "were", "we", "when",
        "your", "can", "said", "there", "use", "each", "which", "she", "do", "how", "their", "if",
        "will", "up", "other", "about", "out", "many", "then", "them", "these", "so", "some", "her",
        "would", "make", "like", "him", "into", "time", "has", "look", "two", "more", "write", "go",
        "see", "number", "no", "way", "could", "people", "my", "than", "first", "water", "been",
        "call", "who", "oil", "its", "now", "find", "long", "down", "day", "did", "get", "come",
        "made", "may", "part", "message", "meeting", "tomorrow", "morning", "password", "letter",
        "garden", "station", "Thursday", "London", "envelope", "quietly", "remember", "afraid",
        "teh", "recieve", "wich", "becuase", "tommorow", "seperate", "untill", "freind", "wrold",
        "occured", "goverment", "beleive", "neccessary", "adress", "comming", "definately",
        "Velmorandquist", "Qumo", "ok", "I"};
    constexpr unsigned kCorrect = 111; // the words before "teh"
    constexpr unsigned kAll = sizeof(words) / sizeof(words[0]);
    QByteArray out;
    out.reserve(size);
    unsigned state = 3;
    qsizetype lineStart = 0;
    while (out.size() < size) {
        state = state * 1103515245u + 12345u;
        const unsigned pick = (state >> 16) % 100;
        state = state * 1103515245u + 12345u;
        const unsigned at = (state >> 16);
        const char *w = pick < 95 ? words[at % kCorrect] : words[kCorrect + at % (kAll - kCorrect)];
        if (out.size() > lineStart)
            out.append(' ');
        out.append(w);
        if (out.size() - lineStart >= width) {
            out.append(lineEnd);
            lineStart = out.size();
        }
    }
    out.truncate(size);
    return out;
}

} // namespace bench
