#include "spelling/words.h"

#include <QTextBoundaryFinder>

namespace spelling {

namespace {

bool isLetterOrDigit(QChar c)
{
    return c.isLetterOrNumber();
}

// A run without white space that is a name for a machine, not words.
bool isAddressOrName(QStringView token)
{
    if (token.contains(QLatin1Char('@')) || token.contains(QLatin1Char('/'))
        || token.contains(QLatin1Char('\\')) || token.contains(QLatin1String("://")))
        return true;
    qsizetype lead = 0;
    while (lead < token.size() && !isLetterOrDigit(token[lead]))
        ++lead;
    if (token.sliced(lead).startsWith(QLatin1String("www."), Qt::CaseInsensitive))
        return true;
    // "example.org", "notes.txt", "v1.2": a dot with a letter or digit on
    // each side.
    for (qsizetype i = 1; i + 1 < token.size(); ++i) {
        if (token[i] == QLatin1Char('.') && isLetterOrDigit(token[i - 1])
            && isLetterOrDigit(token[i + 1]))
            return true;
    }
    return false;
}

bool isWordToCheck(QStringView word)
{
    bool letter = false;
    for (const QChar c : word) {
        if (c.isDigit() || c == QLatin1Char('_'))
            return false;
        letter = letter || c.isLetter();
    }
    return letter;
}

} // namespace

WordFinder::WordFinder(Markers markers)
    : m_markers(std::move(markers))
{ }

template<typename F> bool WordFinder::outsideBlocks(QStringView text, bool inBlock, F &&f) const
{
    const QString &begin = m_markers.begin;
    const QString &end = m_markers.end;
    if (begin.isEmpty() || end.isEmpty())
        inBlock = false;
    qsizetype pos = 0;
    const qsizetype n = text.size();
    for (;;) {
        if (inBlock) {
            const qsizetype at = text.indexOf(end, pos);
            if (at < 0)
                return true;
            pos = at + end.size();
            inBlock = false;
        } else {
            const qsizetype at = begin.isEmpty() || end.isEmpty() ? -1 : text.indexOf(begin, pos);
            const qsizetype stop = at < 0 ? n : at;
            if (stop > pos)
                f(pos, stop);
            if (at < 0)
                return false;
            pos = at + begin.size();
            inBlock = true;
        }
    }
}

QList<WordSpan> WordFinder::words(QStringView paragraph, bool &inBlock) const
{
    QList<WordSpan> out;
    inBlock = outsideBlocks(paragraph, inBlock, [&](qsizetype from, qsizetype to) {
        const QStringView region = paragraph.sliced(from, to - from);
        const qsizetype n = region.size();
        // The run without white space around the word decides first.
        qsizetype tokenStart = 0;
        qsizetype tokenEnd = -1;
        bool tokenSkipped = false;
        const auto take = [&](qsizetype start, qsizetype end) {
            if (start >= tokenEnd) {
                tokenStart = start;
                while (tokenStart > 0 && !region[tokenStart - 1].isSpace())
                    --tokenStart;
                tokenEnd = end;
                while (tokenEnd < n && !region[tokenEnd].isSpace())
                    ++tokenEnd;
                tokenSkipped = isAddressOrName(region.sliced(tokenStart, tokenEnd - tokenStart));
            }
            if (!tokenSkipped && isWordToCheck(region.sliced(start, end - start)))
                out.append({from + start, end - start});
        };
        QTextBoundaryFinder finder(QTextBoundaryFinder::Word, region);
        qsizetype wordStart = -1;
        for (qsizetype p = 0; p >= 0; p = finder.toNextBoundary()) {
            const auto reasons = finder.boundaryReasons();
            if ((reasons & QTextBoundaryFinder::EndOfItem) && wordStart >= 0) {
                take(wordStart, p);
                wordStart = -1;
            }
            if (reasons & QTextBoundaryFinder::StartOfItem)
                wordStart = p;
        }
    });
    return out;
}

bool WordFinder::endsInBlock(QStringView paragraph, bool inBlock) const
{
    return outsideBlocks(paragraph, inBlock, [](qsizetype, qsizetype) {});
}

QList<qsizetype> WordFinder::blockEdges(QStringView paragraph, bool inBlock) const
{
    QList<qsizetype> edges;
    const QString &begin = m_markers.begin;
    const QString &end = m_markers.end;
    if (begin.isEmpty() || end.isEmpty())
        return edges;
    for (qsizetype pos = 0;;) {
        const QString &marker = inBlock ? end : begin;
        const qsizetype at = paragraph.indexOf(marker, pos);
        if (at < 0)
            return edges;
        pos = at + marker.size();
        edges << pos;
        inBlock = !inBlock;
    }
}

std::optional<WordSpan> WordFinder::wordAt(
    QStringView paragraph, bool inBlock, qsizetype position) const
{
    for (const WordSpan &w : words(paragraph, inBlock)) {
        if (w.start <= position && position <= w.end())
            return w;
    }
    return std::nullopt;
}

} // namespace spelling
