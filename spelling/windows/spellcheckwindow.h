#pragma once

// The Spell Check window: walks the editor's text from the caret to its end
// and on from its start back to the caret, stopping at each misspelled word
// with the word in its context, suggestions, Change, Change All, Ignore,
// Ignore All, Add to Dictionary and the language; then says the check is
// complete. Each change is one step of the editor's undo history.

#include "gui/form.h"
#include "spelling/words.h"

#include <QTextBlock>
#include <QTextCursor>

class QComboBox;
class QLineEdit;
class QListWidget;
class QTextEdit;

namespace gui {
class RichEdit;
}

namespace spelling {
class Checker;
class Library;
} // namespace spelling

namespace spelling::windows {

class SpellCheckWindow : public gui::Form
{
    Q_OBJECT
public:
    SpellCheckWindow(gui::RichEdit &editor, Markers markers, QWidget *parent = nullptr);

    // The whole check with the language's dictionary: shows the window at
    // the first misspelled word (none: only the closing box) and returns
    // when the walk is done or the window closed.
    void run(Library &library, const QString &language);
    // The walk's first step without showing the window: false when no word
    // is misspelled.
    bool begin(Library &library, const QString &language);

    // The word the window stops at (empty when none).
    QString word() const;

signals:
    // The user chose another dictionary in the window.
    void languageChosen(const QString &language);
    // A change went into the editor's text.
    void textChanged();

protected:
    void onActivate() override;
    void hideEvent(QHideEvent *event) override;

private:
    void changeOne();
    void changeAll();
    void ignoreOne();
    void ignoreAll();
    void addWord();
    void chooseLanguage(int index);
    // Finds the next misspelled word from m_next and shows it; at the end
    // of the walk closes the window.
    void next();
    bool findNext();
    void showWord();
    QString replacement() const;
    void markInEditor(bool on);

    gui::RichEdit &m_editor;
    WordFinder m_finder;
    Library *m_library = nullptr;
    Checker *m_checker = nullptr;

    // Where the walk began and where it goes on; both follow the edits.
    QTextCursor m_start;
    QTextCursor m_next;
    QTextBlock m_block; // the paragraph m_next is in
    bool m_blockStartsInside = false; // whether it starts inside an encrypted block
    bool m_wrapped = false;
    bool m_complete = false;
    QTextCursor m_word; // selects the word shown

    QTextEdit *m_context;
    QLineEdit *m_changeTo;
    QListWidget *m_suggestions;
    QComboBox *m_language;
};

} // namespace spelling::windows
