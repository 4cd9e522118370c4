#pragma once

// Checking as you type: the wavy underline under misspelled words of an
// editor, and the suggestions its context menu offers for one. The
// underline lives in the text layout only: it never changes the text, its
// formats, the files, the clipboard or a print.
//
// A change checks the paragraphs it touched at once. What does not fit in a
// few milliseconds of one turn of the event loop (a whole text opened or
// pasted, another language, a word added) is checked later, slice by slice,
// the paragraphs in view first; meanwhile a paragraph keeps the underline it
// had. While the caret stands at a word's end the word is not marked: it is
// being typed.

#include "spelling/words.h"

#include <QElapsedTimer>
#include <QList>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTimer>

class QAction;
class QMenu;
class QPoint;
class QTextEdit;

namespace spelling {
class Checker;
}

namespace gui {

class SpellUnderline : public QSyntaxHighlighter
{
    Q_OBJECT
public:
    // Off until it is given a checker.
    SpellUnderline(QTextEdit &editor, spelling::Markers markers);
    ~SpellUnderline() override;

    // nullptr turns it off and takes every underline away; another checker
    // checks the whole text again.
    void setChecker(spelling::Checker *checker);
    spelling::Checker *checker() const { return m_checker; }
    // Whether every paragraph has been checked since the last change.
    bool isUpToDate() const;

    // For the misspelled word at a point of the editor's viewport: its
    // suggestions, "Ignore" and "Add to Dictionary", put at the top of the
    // menu until it hides. Returns them; none for a word that is spelled
    // right, that is no word, or with checking off.
    QList<QAction *> addSuggestions(QMenu &menu, const QPoint &at);

signals:
    // A suggestion from the menu replaced a word.
    void corrected();

protected:
    void highlightBlock(const QString &text) override;

private:
    enum State { kInBlock = 1, kUnchecked = 2 };
    static bool isUnchecked(const QTextBlock &block);
    bool startsInBlock(const QTextBlock &block) const;
    void startTurn();
    bool turnUsedUp() const;
    void checkSlice();
    void defer(int blockNumber);
    // Every paragraph, or those with an underline, to be checked again.
    void recheck(bool underlinedOnly);
    void caretMoved();

    QTextEdit &m_editor;
    spelling::WordFinder m_finder;
    spelling::Checker *m_checker = nullptr;
    QMetaObject::Connection m_wordsChanged;
    QTextCharFormat m_misspelled;

    QElapsedTimer m_turn;
    QTimer m_turnEnd;
    QTimer m_slicer;
    int m_scanFrom = 0; // no paragraph before this one waits
    bool m_pending = false;
    // The end of the word being typed, not marked while the caret stays.
    QTextCursor m_held;
};

} // namespace gui
