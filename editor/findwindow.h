#pragma once

// The find and replace window: looks for a text in the editor from the caret
// on, once round past the end, and replaces what it found, one at a time or
// all at once. It does not block the editor: the user may go on writing
// while it is open. A text that is not there is said in a plain box.

#include <QDialog>
#include <QTextDocument>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTextEdit;

namespace editor {

class FindWindow : public QDialog
{
    Q_OBJECT
public:
    explicit FindWindow(QTextEdit &editor, QWidget *parent = nullptr);

    // Shows the window (raised when it is open already) with or without the
    // replace row; a selection within one line becomes the text to find.
    void showFind();
    void showReplace();

    // The text to find, as typed.
    QString findText() const;
    bool replacing() const { return m_replacing; }

    // Selects the next match after the selection or the caret, going round
    // once past the end; false (after the box) when there is none.
    bool findNext();
    // Replaces the selection when it is a match, then finds the next one.
    void replace();
    // Replaces every match in the document as one step of the editor's
    // history; the number replaced (0 after the box).
    int replaceAll();

private:
    void showAs(bool replacing);
    QTextDocument::FindFlags flags() const;
    bool selectionMatches() const;
    void notFound();
    void updateButtons();

    QTextEdit &m_editor;
    QLineEdit *m_find;
    QLabel *m_replaceLabel;
    QLineEdit *m_replaceWith;
    QCheckBox *m_matchCase;
    QCheckBox *m_wholeWords;
    QPushButton *m_findNext;
    QPushButton *m_replace;
    QPushButton *m_replaceAll;
    QPushButton *m_close;
    QLabel *m_result;
    bool m_replacing = false;
};

} // namespace editor
