#pragma once

// Checking as you type: the wavy underline under the misspelled words of an
// editor, and the suggestions its context menu offers for one. The
// underline is drawn over the text as the editor's extra selections: it
// never changes the text, its formats, the files, the clipboard or a print.
//
// Only what is in view is checked, after each change, scroll or resize, and
// the engine's answers are kept, so a keystroke costs the few words in view
// whatever the length of the text; nothing is checked that is never shown.
// Where each paragraph starts relative to the encrypted block is kept per
// paragraph and worked out again only from a change on, as far as the view.
// While the caret stands at the end of a word just typed, the word is not
// marked: it is being typed.

#include "spelling/words.h"

#include <QList>
#include <QObject>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>

#include <utility>

class QAction;
class QMenu;
class QPoint;

namespace spelling {
class Checker;
}

namespace gui {

// Sets the extra selections of one owner on an editor, leaving those of
// others in place.
void setOwnExtraSelections(
    QTextEdit &editor, int owner, const QList<QTextEdit::ExtraSelection> &selections);

class SpellUnderline : public QObject
{
    Q_OBJECT
public:
    // Off until it is given a checker.
    SpellUnderline(QTextEdit &editor, spelling::Markers markers);
    ~SpellUnderline() override;

    // nullptr turns it off and takes every underline away.
    void setChecker(spelling::Checker *checker);
    spelling::Checker *checker() const { return m_checker; }
    // Whether what is in view has been checked since the last change.
    bool isUpToDate() const;
    // The words underlined, as selections of the editor's text.
    QList<QTextCursor> underlined() const;

    // For the misspelled word at a point of the editor's viewport: its
    // suggestions, "Ignore" and "Add to Dictionary", put at the top of the
    // menu until it hides. Returns them; none for a word that is spelled
    // right, that is no word, or with checking off.
    QList<QAction *> addSuggestions(QMenu &menu, const QPoint &at);

    // The owner tags of the editor's extra selections.
    enum Owner { kUnderline = 1, kSpellCheckWindow = 2 };

signals:
    // A suggestion from the menu replaced a word.
    void corrected();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void schedule();
    void refresh();
    void contentsChanged(int position, int removed, int added);
    void caretMoved();
    // The text of a long paragraph in view, [from, to) in the paragraph;
    // origin: where its lines are placed from, in the viewport.
    std::pair<qsizetype, qsizetype> linesInView(
        const QTextBlock &block, qreal origin, const QPoint &corner, const QSize &view);
    // Whether the position of the paragraph lies inside the encrypted block;
    // the block's edges in the paragraph are kept until it changes.
    bool inBlockAt(const QTextBlock &block, qsizetype at, bool startsInside);
    // The block at y (in the document), near the one found last time;
    // invalid when it is not near.
    QTextBlock blockAt(int y);
    // Works out where the paragraphs up to this one stand relative to the
    // encrypted block; true when the paragraph starts inside it.
    bool startsInBlock(const QTextBlock &block);

    QTextEdit &m_editor;
    spelling::WordFinder m_finder;
    spelling::Checker *m_checker = nullptr;
    QMetaObject::Connection m_wordsChanged;
    QTextCharFormat m_misspelled;
    QTimer m_refresh;
    QList<QTextEdit::ExtraSelection> m_shown;
    // The paragraphs before this one have their state (whether they end
    // inside the encrypted block) in their user state.
    int m_statesKnown = 0;
    // The number of the first block in view at the last refresh.
    int m_firstShown = 0;
    struct Edges
    {
        int position = -1; // of the paragraph; -1: none kept
        int length = 0;
        bool startsInside = false;
        QList<qsizetype> at;
        // Found to the paragraph's end; else from the last edge on.
        bool complete = false;
    };
    Edges m_edges;
    // The end of the word being typed, not marked until the caret moves.
    int m_typingEnd = -1;
};

} // namespace gui
