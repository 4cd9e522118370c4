#include "gui/spellunderline.h"

#include "spelling/library.h"

#include <QAction>
#include <QMenu>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>

#include <limits>

namespace gui {

namespace {

// What one turn of the event loop may spend checking: a keystroke with its
// layout stays well inside a frame.
constexpr qint64 kTurnBudgetMs = 4;
constexpr qsizetype kMaxSuggestions = 7;

} // namespace

SpellUnderline::SpellUnderline(QTextEdit &editor, spelling::Markers markers)
    // Not made with the editor as parent: Qt would attach it to the
    // editor's text at once.
    : QSyntaxHighlighter(static_cast<QObject *>(nullptr))
    , m_editor(editor)
    , m_finder(std::move(markers))
{
    setParent(&editor);
    m_misspelled.setUnderlineStyle(QTextCharFormat::SpellCheckUnderline);
    m_misspelled.setUnderlineColor(Qt::red);
    m_turnEnd.setSingleShot(true);
    m_turnEnd.setInterval(0);
    m_slicer.setSingleShot(true);
    m_slicer.setInterval(0);
    connect(&m_slicer, &QTimer::timeout, this, &SpellUnderline::checkSlice);
    connect(&editor, &QTextEdit::cursorPositionChanged, this, &SpellUnderline::caretMoved);
}

SpellUnderline::~SpellUnderline() = default;

void SpellUnderline::setChecker(spelling::Checker *checker)
{
    if (checker == m_checker)
        return;
    disconnect(m_wordsChanged);
    spelling::Checker *before = m_checker;
    m_checker = checker;
    m_held = QTextCursor();
    if (!checker) {
        m_slicer.stop();
        m_pending = false;
        setDocument(nullptr);
        return;
    }
    m_wordsChanged =
        connect(checker, &spelling::Checker::wordsChanged, this, [this] { recheck(true); });
    if (!before) {
        // Qt's first pass over the text comes on the next turn; what the
        // budget leaves of it the slices do.
        setDocument(m_editor.document());
    }
    recheck(false);
}

bool SpellUnderline::isUpToDate() const
{
    return !m_checker || !m_pending;
}

bool SpellUnderline::isUnchecked(const QTextBlock &block)
{
    const int state = block.userState();
    return state < 0 || (state & kUnchecked);
}

bool SpellUnderline::startsInBlock(const QTextBlock &block) const
{
    const QTextBlock previous = block.previous();
    return previous.isValid() && previous.userState() > 0 && (previous.userState() & kInBlock);
}

void SpellUnderline::startTurn()
{
    if (m_turnEnd.isActive())
        return;
    m_turn.start();
    m_turnEnd.start();
}

bool SpellUnderline::turnUsedUp() const
{
    return m_turn.isValid() && m_turn.elapsed() >= kTurnBudgetMs;
}

void SpellUnderline::defer(int blockNumber)
{
    m_scanFrom = qMin(m_scanFrom, blockNumber);
    m_pending = true;
    if (!m_slicer.isActive())
        m_slicer.start();
}

void SpellUnderline::highlightBlock(const QString &text)
{
    const QTextBlock block = currentBlock();
    const int previous = previousBlockState();
    bool inBlock = previous > 0 && (previous & kInBlock);
    if (!m_checker) {
        setCurrentBlockState(m_finder.endsInBlock(text, inBlock) ? kInBlock : 0);
        return;
    }
    startTurn();
    if (turnUsedUp()) {
        // Later; what the paragraph showed stays until then.
        const QList<QTextLayout::FormatRange> shown = block.layout()->formats();
        for (const QTextLayout::FormatRange &r : shown)
            setFormat(r.start, r.length, r.format);
        setCurrentBlockState((m_finder.endsInBlock(text, inBlock) ? kInBlock : 0) | kUnchecked);
        defer(block.blockNumber());
        return;
    }
    if (!m_held.isNull() && m_held.block() == block)
        m_held = QTextCursor();
    const QTextCursor caret = m_editor.textCursor();
    const int caretAt = caret.hasSelection() || caret.block() != block ? -1 : caret.positionInBlock();
    const QList<spelling::WordSpan> words = m_finder.words(text, inBlock);
    for (const spelling::WordSpan &w : words) {
        if (m_checker->isCorrect(QStringView(text).sliced(w.start, w.length)))
            continue;
        if (w.end() == caretAt) {
            m_held = caret;
            continue;
        }
        setFormat(int(w.start), int(w.length), m_misspelled);
    }
    setCurrentBlockState(inBlock ? kInBlock : 0);
}

void SpellUnderline::caretMoved()
{
    if (m_held.isNull())
        return;
    const QTextCursor caret = m_editor.textCursor();
    if (!caret.hasSelection() && caret.position() == m_held.position())
        return;
    const QTextBlock block = m_held.block();
    m_held = QTextCursor();
    rehighlightBlock(block);
}

void SpellUnderline::recheck(bool underlinedOnly)
{
    QTextDocument *doc = document();
    if (!doc)
        return;
    int first = -1;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        if (underlinedOnly && b.layout()->formats().isEmpty())
            continue;
        if (first < 0)
            first = b.blockNumber();
        const int state = b.userState();
        b.setUserState(state < 0 ? kUnchecked : state | kUnchecked);
    }
    if (first >= 0)
        defer(first);
}

void SpellUnderline::checkSlice()
{
    QTextDocument *doc = document();
    if (!m_checker || !doc)
        return;
    // A fresh budget for this turn.
    m_turnEnd.stop();
    startTurn();
    const auto checkOne = [this](const QTextBlock &b) {
        rehighlightBlock(b);
        if (!turnUsedUp())
            return false;
        m_slicer.start();
        return true;
    };
    // The paragraphs in view first.
    const QRect view = m_editor.viewport()->rect();
    QTextBlock b = m_editor.cursorForPosition(view.topLeft()).block();
    const QTextBlock lastInView = m_editor.cursorForPosition(view.bottomRight()).block();
    for (; b.isValid(); b = b.next()) {
        if (isUnchecked(b) && checkOne(b))
            return;
        if (b == lastInView)
            break;
    }
    // Then the rest, from the first that may wait.
    b = doc->findBlockByNumber(qMax(0, m_scanFrom));
    if (!b.isValid())
        b = doc->begin();
    for (; b.isValid(); b = b.next()) {
        if (isUnchecked(b)) {
            m_scanFrom = b.blockNumber();
            if (checkOne(b))
                return;
        }
    }
    m_scanFrom = std::numeric_limits<int>::max();
    m_pending = false;
}

QList<QAction *> SpellUnderline::addSuggestions(QMenu &menu, const QPoint &at)
{
    QList<QAction *> added;
    if (!m_checker)
        return added;
    const QTextCursor hit = m_editor.cursorForPosition(at);
    const QTextBlock block = hit.block();
    const QString text = block.text();
    const auto span = m_finder.wordAt(text, startsInBlock(block), hit.positionInBlock());
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
