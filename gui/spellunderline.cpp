#include "gui/spellunderline.h"

#include "spelling/library.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>

namespace gui {

namespace {

const int kOwnerProperty = QTextFormat::UserProperty + 0x5e1;
// Longer paragraphs are checked only as far as they are in view.
constexpr qsizetype kLongParagraph = 2000;
// How far past the lines in view a long paragraph is read, to widen them to
// white space.
constexpr qsizetype kWiden = 256;
constexpr qsizetype kMaxSuggestions = 7;

// A paragraph's place in the document: its lines are placed from origin,
// and it spans [top, bottom) as Qt's block rectangle does. That rectangle
// goes through every line of the paragraph, a hundred thousand for a block
// of megabytes, so a long paragraph already laid out in the document's own
// frame (at its origin) is placed from its first and last lines instead.
struct Extent
{
    qreal origin;
    qreal top;
    qreal bottom;
};

Extent extentOf(QTextDocument &doc, const QTextBlock &block)
{
    const QTextLayout *lines = block.layout();
    const int count = lines->lineCount();
    if (block.length() - 1 > kLongParagraph && count > 0
        && doc.frameAt(block.position()) == doc.rootFrame()) {
        const qreal origin = lines->position().y();
        const QTextLine last = lines->lineAt(count - 1);
        return {origin, origin, origin + last.y() + last.height() - lines->lineAt(0).y()};
    }
    // Laid out as far as asked, so the view ends where it shows.
    const QRectF r = doc.documentLayout()->blockBoundingRect(block);
    return {r.top(), r.top(), r.bottom()};
}

} // namespace

void setOwnExtraSelections(
    QTextEdit &editor, int owner, const QList<QTextEdit::ExtraSelection> &selections)
{
    QList<QTextEdit::ExtraSelection> all;
    const QList<QTextEdit::ExtraSelection> before = editor.extraSelections();
    for (const QTextEdit::ExtraSelection &s : before) {
        if (s.format.intProperty(kOwnerProperty) != owner)
            all << s;
    }
    for (QTextEdit::ExtraSelection s : selections) {
        s.format.setProperty(kOwnerProperty, owner);
        all << s;
    }
    if (!all.isEmpty() || !before.isEmpty())
        editor.setExtraSelections(all);
}

SpellUnderline::SpellUnderline(QTextEdit &editor, spelling::Markers markers)
    : QObject(&editor)
    , m_editor(editor)
    , m_finder(std::move(markers))
{
    m_misspelled.setUnderlineStyle(QTextCharFormat::SpellCheckUnderline);
    m_misspelled.setUnderlineColor(Qt::red);
    m_refresh.setSingleShot(true);
    m_refresh.setInterval(0);
    connect(&m_refresh, &QTimer::timeout, this, &SpellUnderline::refresh);
    connect(
        editor.document(), &QTextDocument::contentsChange, this, &SpellUnderline::contentsChanged);
    connect(editor.document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged,
        this, &SpellUnderline::schedule);
    connect(&editor, &QTextEdit::cursorPositionChanged, this, &SpellUnderline::caretMoved);
    connect(editor.verticalScrollBar(), &QScrollBar::valueChanged, this, &SpellUnderline::schedule);
    connect(
        editor.horizontalScrollBar(), &QScrollBar::valueChanged, this, &SpellUnderline::schedule);
    editor.viewport()->installEventFilter(this);
}

SpellUnderline::~SpellUnderline() = default;

void SpellUnderline::setChecker(spelling::Checker *checker)
{
    if (checker == m_checker)
        return;
    disconnect(m_wordsChanged);
    m_checker = checker;
    if (checker) {
        m_wordsChanged =
            connect(checker, &spelling::Checker::wordsChanged, this, &SpellUnderline::schedule);
        schedule();
    } else {
        refresh(); // the underline goes at once
    }
}

bool SpellUnderline::isUpToDate() const
{
    return !m_refresh.isActive();
}

QList<QTextCursor> SpellUnderline::underlined() const
{
    QList<QTextCursor> out;
    for (const QTextEdit::ExtraSelection &s : m_shown)
        out << s.cursor;
    return out;
}

bool SpellUnderline::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize)
        schedule();
    return QObject::eventFilter(watched, event);
}

void SpellUnderline::schedule()
{
    if ((m_checker || !m_shown.isEmpty()) && !m_refresh.isActive())
        m_refresh.start();
}

void SpellUnderline::contentsChanged(int position, int removed, int added)
{
    // Edges before the change stay; those after it are found again.
    if (position < m_edges.position) {
        m_edges.position = -1;
    } else if (position < m_edges.position + m_edges.length) {
        const qsizetype at = position - m_edges.position;
        while (!m_edges.at.isEmpty() && m_edges.at.last() > at)
            m_edges.at.removeLast();
        m_edges.length += added - removed;
        m_edges.complete = false;
    }
    const QTextBlock changed = m_editor.document()->findBlock(position);
    if (changed.isValid())
        m_statesKnown = qMin(m_statesKnown, changed.blockNumber());
    // A change that ends at the caret is typing. (No text cursor may be
    // given up here: one freed while the document clears stays in its list.)
    const QTextCursor caret = m_editor.textCursor();
    m_typingEnd =
        !caret.hasSelection() && caret.position() == position + added ? caret.position() : -1;
    schedule();
}

void SpellUnderline::caretMoved()
{
    if (m_typingEnd < 0 || m_editor.textCursor().position() == m_typingEnd)
        return;
    m_typingEnd = -1;
    schedule();
}

std::pair<qsizetype, qsizetype> SpellUnderline::linesInView(
    const QTextBlock &block, qreal origin, const QPoint &corner, const QSize &view)
{
    // Found by their place: a hit test shapes the whole paragraph. A line
    // wider than the view (no word wrap) is narrowed by hit tests.
    const QTextLayout *lines = block.layout();
    const int count = lines->lineCount();
    const auto firstWhere = [&](int low, const auto &isPast) {
        int high = count;
        while (low < high) {
            const int mid = low + (high - low) / 2;
            if (isPast(lines->lineAt(mid)))
                low = mid + 1;
            else
                high = mid;
        }
        return low;
    };
    const int first = firstWhere(
        0, [&](const QTextLine &l) { return origin + l.y() + l.height() <= corner.y(); });
    const int end =
        firstWhere(first, [&](const QTextLine &l) { return origin + l.y() < view.height(); });
    const qsizetype size = block.length() - 1;
    if (first >= end)
        return {0, 0};
    const QTextLine top = lines->lineAt(first);
    if (end - first == 1 && top.naturalTextWidth() > view.width()) {
        const int y = qBound(corner.y(), int(origin + top.y()), view.height() - 1);
        const qsizetype left =
            m_editor.cursorForPosition(QPoint(corner.x(), y)).position() - block.position();
        const qsizetype right =
            m_editor.cursorForPosition(QPoint(view.width(), y)).position() - block.position() + 1;
        const qsizetype from = qBound(qsizetype(0), left, size);
        return {from, qBound(from, right, size)};
    }
    const QTextLine bottom = lines->lineAt(end - 1);
    return {top.textStart(), qMin(size, qsizetype(bottom.textStart() + bottom.textLength()))};
}

bool SpellUnderline::inBlockAt(const QTextBlock &block, qsizetype at, bool startsInside)
{
    if (m_edges.position != block.position() || m_edges.length != block.length()
        || m_edges.startsInside != startsInside) {
        m_edges = {block.position(), block.length(), startsInside, {}, false};
    }
    if (!m_edges.complete) {
        // From the last edge before the change on: typing after a block of
        // megabytes reads only what follows its end marker.
        const qsizetype resume = m_edges.at.isEmpty() ? 0 : m_edges.at.last();
        const qsizetype size = block.length() - 1;
        QString rest;
        if (size - resume <= kLongParagraph) {
            rest.resize(size - resume);
            for (qsizetype i = resume; i < size; ++i)
                rest[i - resume] = m_editor.document()->characterAt(block.position() + int(i));
        } else {
            rest = block.text().mid(resume);
        }
        const bool state = startsInside != (m_edges.at.size() % 2 == 1);
        for (const qsizetype edge : m_finder.blockEdges(rest, state))
            m_edges.at << resume + edge;
        m_edges.complete = true;
    }
    const auto passed = std::upper_bound(m_edges.at.cbegin(), m_edges.at.cend(), at);
    return startsInside != ((passed - m_edges.at.cbegin()) % 2 == 1);
}

QTextBlock SpellUnderline::blockAt(int y)
{
    // Walked to from the block found last time, by the blocks' places: a
    // hit test would shape the whole paragraph under the point. Far away
    // (a jump), invalid, and the caller hit-tests.
    QTextDocument *doc = m_editor.document();
    QTextBlock b = doc->findBlockByNumber(qBound(0, m_firstShown, doc->blockCount() - 1));
    for (int step = 0; step < 64; ++step) {
        const Extent r = extentOf(*doc, b);
        if (r.bottom <= y) {
            if (!b.next().isValid())
                return b;
            b = b.next();
            continue;
        }
        const QTextBlock previous = b.previous();
        if (r.top <= y || !previous.isValid() || extentOf(*doc, previous).bottom <= y)
            return b;
        b = previous;
    }
    return {};
}

bool SpellUnderline::startsInBlock(const QTextBlock &block)
{
    const int number = block.blockNumber();
    if (m_statesKnown < number) {
        QTextBlock b = m_editor.document()->findBlockByNumber(m_statesKnown);
        bool inside = m_statesKnown > 0 && b.previous().userState() == 1;
        for (int n = m_statesKnown; n < number && b.isValid(); ++n, b = b.next()) {
            // A long paragraph's edges are kept: typing in it does not
            // search it whole again.
            inside = b.length() - 1 > kLongParagraph ? inBlockAt(b, b.length() - 1, inside)
                                                     : m_finder.endsInBlock(b.text(), inside);
            b.setUserState(inside ? 1 : 0);
        }
        m_statesKnown = number;
    }
    const QTextBlock previous = block.previous();
    return previous.isValid() && previous.userState() == 1;
}

void SpellUnderline::refresh()
{
    m_refresh.stop();
    QList<QTextEdit::ExtraSelection> shown;
    // A word marked before keeps its selection, which has followed the
    // edits: a new one costs shaping its line to place the cursor. Both
    // lists are in the text's order.
    qsizetype kept = 0;
    bool same = true;
    if (m_checker) {
        QTextDocument *doc = m_editor.document();
        const QRect view = m_editor.viewport()->rect();
        const QPoint scrolled(
            m_editor.horizontalScrollBar()->value(), m_editor.verticalScrollBar()->value());
        // Points in the document's margin do not hit its text: the view's
        // corner as far inside as the margin reaches.
        const int margin = int(doc->documentMargin());
        const QPoint corner(qMax(0, margin - scrolled.x()), qMax(0, margin - scrolled.y()));
        QTextBlock first = blockAt(corner.y() + scrolled.y());
        if (!first.isValid())
            first = m_editor.cursorForPosition(corner).block();
        m_firstShown = first.blockNumber();
        bool inside = startsInBlock(first);
        for (QTextBlock b = first; b.isValid(); b = b.next()) {
            const Extent r = extentOf(*doc, b);
            if (b != first && r.top - scrolled.y() >= view.height())
                break;
            // A long paragraph (an encrypted block of megabytes on one line)
            // is looked at only as far as it is in view: neither copied
            // whole nor searched for markers at every change.
            const qsizetype size = b.length() - 1;
            QString text;
            qsizetype offset = 0; // where text starts in the paragraph
            bool in = inside;
            if (size <= kLongParagraph) {
                text = b.text();
            } else {
                const auto [from, to] =
                    linesInView(b, r.origin - scrolled.y(), corner, view.size());
                const qsizetype start = qMax(qsizetype(0), from - kWiden);
                const qsizetype end = qMin(size, to + kWiden);
                // Character by character: a text cursor would shape the
                // whole paragraph to know its place on the line.
                QString around(end - start, Qt::Uninitialized);
                for (qsizetype i = start; i < end; ++i)
                    around[i - start] = doc->characterAt(b.position() + int(i));
                qsizetype f = from - start;
                qsizetype t = to - start;
                while (f > 0 && !around[f - 1].isSpace())
                    --f;
                while (t < around.size() && !around[t].isSpace())
                    ++t;
                offset = start + f;
                text = around.sliced(f, t - f);
                in = inBlockAt(b, offset, inside);
            }
            const QStringView part(text);
            for (const spelling::WordSpan &w : m_finder.words(part, in)) {
                const int at = b.position() + int(offset + w.start);
                if (at + int(w.length) == m_typingEnd
                    || m_checker->isCorrect(part.sliced(w.start, w.length)))
                    continue;
                while (kept < m_shown.size() && m_shown[kept].cursor.selectionStart() < at)
                    ++kept;
                if (kept < m_shown.size() && m_shown[kept].cursor.selectionStart() == at
                    && m_shown[kept].cursor.selectionEnd() == at + int(w.length)) {
                    same = same && kept == shown.size();
                    shown << m_shown[kept++];
                    continue;
                }
                same = false;
                QTextEdit::ExtraSelection s;
                s.cursor = QTextCursor(doc);
                s.cursor.setPosition(at);
                s.cursor.setPosition(at + int(w.length), QTextCursor::KeepAnchor);
                s.format = m_misspelled;
                shown << s;
            }
            inside = startsInBlock(b.next());
        }
    }
    if (same && shown.size() == m_shown.size())
        return;
    m_shown = shown;
    setOwnExtraSelections(m_editor, kUnderline, shown);
}

QList<QAction *> SpellUnderline::addSuggestions(QMenu &menu, const QPoint &at)
{
    QList<QAction *> added;
    if (!m_checker)
        return added;
    // Only a point on the text itself: beside a line's end is no word.
    const QPointF inDocument = QPointF(at)
        + QPointF(m_editor.horizontalScrollBar()->value(), m_editor.verticalScrollBar()->value());
    const int position = m_editor.document()->documentLayout()->hitTest(inDocument, Qt::ExactHit);
    if (position < 0)
        return added;
    const QTextBlock block = m_editor.document()->findBlock(position);
    const QString text = block.text();
    const auto span = m_finder.wordAt(text, startsInBlock(block), position - block.position());
    if (!span)
        return added;
    const QString word = text.mid(span->start, span->length);
    spelling::Checker *checker = m_checker;
    if (checker->isCorrect(word))
        return added;

    // The word as a selection that follows edits made while the menu is open.
    QTextCursor wordCursor(m_editor.document());
    wordCursor.setPosition(block.position() + int(span->start));
    wordCursor.setPosition(block.position() + int(span->end()), QTextCursor::KeepAnchor);
    const QStringList suggestions = checker->suggestions(word).mid(0, kMaxSuggestions);
    for (const QString &s : suggestions) {
        QString caption = s;
        auto *a = new QAction(caption.replace(QLatin1Char('&'), QLatin1String("&&")), &menu);
        connect(a, &QAction::triggered, this, [this, wordCursor, word, s]() mutable {
            if (wordCursor.selectedText() != word)
                return;
            // The word keeps its formatting: that of its first character.
            QTextCursor first(wordCursor);
            first.setPosition(wordCursor.selectionStart() + 1);
            wordCursor.insertText(s, first.charFormat());
            emit corrected();
        });
        added << a;
    }
    if (suggestions.isEmpty()) {
        auto *none = new QAction(QStringLiteral("(no suggestions)"), &menu);
        none->setEnabled(false);
        added << none;
    }
    auto *separator = new QAction(&menu);
    separator->setSeparator(true);
    added << separator;
    auto *ignore = new QAction(QStringLiteral("&Ignore"), &menu);
    connect(ignore, &QAction::triggered, checker, [checker, word] { checker->ignore(word); });
    added << ignore;
    auto *add = new QAction(QStringLiteral("Add to Dic&tionary"), &menu);
    connect(add, &QAction::triggered, checker, [checker, word] { checker->add(word); });
    added << add;
    auto *after = new QAction(&menu);
    after->setSeparator(true);
    added << after;

    menu.insertActions(menu.actions().value(0), added);
    // Taken out when the menu hides; deleted later, as the one chosen is
    // triggered after that.
    connect(
        &menu, &QMenu::aboutToHide, this,
        [&menu, added] {
            for (QAction *a : added) {
                menu.removeAction(a);
                a->deleteLater();
            }
        },
        Qt::SingleShotConnection);
    return added;
}

} // namespace gui
