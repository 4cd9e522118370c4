#include "gui/spellunderline.h"

#include "spelling/library.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

namespace gui {

namespace {

const int kOwnerProperty = QTextFormat::UserProperty + 0x5e1;
// Longer paragraphs are checked only as far as they are in view.
constexpr qsizetype kLongParagraph = 2000;
constexpr qsizetype kMaxSuggestions = 7;

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
    connect(editor.document(), &QTextDocument::contentsChange, this,
        &SpellUnderline::contentsChanged);
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

void SpellUnderline::contentsChanged(int position, int, int added)
{
    const QTextBlock changed = m_editor.document()->findBlock(position);
    if (changed.isValid())
        m_statesKnown = qMin(m_statesKnown, changed.blockNumber());
    // A change that ends at the caret is typing. (No text cursor may be
    // given up here: one freed while the document clears stays in its list.)
    const QTextCursor caret = m_editor.textCursor();
    m_typingEnd = !caret.hasSelection() && caret.position() == position + added ? caret.position() : -1;
    schedule();
}

void SpellUnderline::caretMoved()
{
    if (m_typingEnd < 0 || m_editor.textCursor().position() == m_typingEnd)
        return;
    m_typingEnd = -1;
    schedule();
}

bool SpellUnderline::startsInBlock(const QTextBlock &block)
{
    const int number = block.blockNumber();
    if (m_statesKnown < number) {
        QTextBlock b = m_editor.document()->findBlockByNumber(m_statesKnown);
        bool inside = m_statesKnown > 0 && b.previous().userState() == 1;
        for (int n = m_statesKnown; n < number && b.isValid(); ++n, b = b.next()) {
            inside = m_finder.endsInBlock(b.text(), inside);
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
    if (m_checker) {
        QTextDocument *doc = m_editor.document();
        QAbstractTextDocumentLayout *layout = doc->documentLayout();
        const QRect view = m_editor.viewport()->rect();
        const QPoint scrolled(
            m_editor.horizontalScrollBar()->value(), m_editor.verticalScrollBar()->value());
        // Points in the document's margin do not hit its text: the view's
        // corner as far inside as the margin reaches.
        const int margin = int(doc->documentMargin());
        const QPoint corner(qMax(0, margin - scrolled.x()), qMax(0, margin - scrolled.y()));
        const QTextBlock first = m_editor.cursorForPosition(corner).block();
        bool inside = startsInBlock(first);
        for (QTextBlock b = first; b.isValid(); b = b.next()) {
            // Laid out as far as asked, so the view ends where it shows.
            const QRectF r = layout->blockBoundingRect(b).translated(-scrolled);
            if (b != first && r.top() >= view.height())
                break;
            const QString text = b.text();
            qsizetype from = 0;
            qsizetype to = text.size();
            bool in = inside;
            if (text.size() > kLongParagraph) {
                // The lines in view, widened to white space.
                const int top = qBound(corner.y(), int(r.top()), view.height() - 1);
                const int bottom = qBound(0, int(r.bottom()), view.height() - 1);
                const qsizetype left =
                    m_editor.cursorForPosition(QPoint(corner.x(), top)).position() - b.position();
                const qsizetype right =
                    m_editor.cursorForPosition(QPoint(view.width(), bottom)).position()
                    - b.position() + 1;
                from = qBound(qsizetype(0), left, text.size());
                to = qBound(from, right, text.size());
                while (from > 0 && !text[from - 1].isSpace())
                    --from;
                while (to < text.size() && !text[to].isSpace())
                    ++to;
                in = m_finder.endsInBlock(QStringView(text).first(from), inside);
            }
            const QStringView part = QStringView(text).sliced(from, to - from);
            for (const spelling::WordSpan &w : m_finder.words(part, in)) {
                const int at = b.position() + int(from + w.start);
                if (at + int(w.length) == m_typingEnd
                    || m_checker->isCorrect(part.sliced(w.start, w.length)))
                    continue;
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
    if (shown.isEmpty() && m_shown.isEmpty())
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
