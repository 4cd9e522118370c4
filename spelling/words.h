#pragma once

// Which spans of a text are words to check. Never words: the encrypted
// block from its begin marker to its end marker (its body is cipher text,
// and it may run over many paragraphs), runs of text without white space
// that are addresses, links, paths or file names (they hold "@", "://",
// "www.", a slash, or a dot inside), and words holding digits or
// underscores. Words themselves are found at Unicode word boundaries, so
// "don't" is one word and "twenty-one" two.

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

namespace spelling {

// The markers of the encrypted block, as the cipher writes them; empty ones
// mark nothing.
struct Markers
{
    QString begin;
    QString end;
};

struct WordSpan
{
    qsizetype start = 0;
    qsizetype length = 0;
    qsizetype end() const { return start + length; }
    bool operator==(const WordSpan &) const = default;
};

class WordFinder
{
public:
    explicit WordFinder(Markers markers = {});

    // The words of one paragraph. inBlock says whether the paragraph starts
    // inside an encrypted block, and is set to whether it ends inside one.
    QList<WordSpan> words(QStringView paragraph, bool &inBlock) const;
    // Only the block state at the paragraph's end (far cheaper).
    bool endsInBlock(QStringView paragraph, bool inBlock) const;
    // Where the state flips, in order: after each marker that begins or
    // ends the block. A position is inside when an odd number of them lie
    // at or before it (counted from the state at the start).
    QList<qsizetype> blockEdges(QStringView paragraph, bool inBlock) const;
    // The word to check that holds the position (a word's end counts).
    std::optional<WordSpan> wordAt(QStringView paragraph, bool inBlock, qsizetype position) const;

private:
    // Calls f(from, to) for every stretch outside the block; returns the
    // state at the end.
    template<typename F> bool outsideBlocks(QStringView text, bool inBlock, F &&f) const;

    Markers m_markers;
};

} // namespace spelling
