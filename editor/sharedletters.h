#pragma once

// Where several controls of the main window share an access letter (the
// toolbar's "&New" and "E&ncrypt", its "&Open" and the "&Options" menu), each
// press of Alt and the letter moves on to the next of them, as Qt moves
// between buttons or menu entries that share a letter: a toolbar button takes
// the focus (Space or Enter then presses it), a menu title opens its menu,
// and the press after that closes the menu again and goes on. A letter only
// one shown and enabled control has still acts at once.
//
// Qt sends each press of a shared letter to one of its owners in turn, but
// loses its place once a press has gone to an open menu; the order here is
// taken afresh from the controls at every press instead: the one after the
// button that has the focus or the title whose menu is open, else the first.

#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QPointer>

class QAbstractButton;
class QAction;
class QMenuBar;
class QWidget;

namespace editor {

class SharedLetters : public QObject
{
    Q_OBJECT
public:
    // Watches the buttons (in their order along the toolbar) and the menu
    // bar's titles; home is where the keyboard rests between letters (the
    // document).
    SharedLetters(
        QMenuBar *menuBar, const QList<QAbstractButton *> &buttons, QWidget *home, QObject *parent);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Owner
    {
        QAbstractButton *button = nullptr;
        QAction *title = nullptr;
    };
    // The shown and enabled controls whose letter is the key, buttons first.
    QList<Owner> owners(const QKeySequence &key) const;
    // Moves on from the current owner of the key; false when it has fewer
    // than two.
    bool moveOn(const QKeySequence &key);

    QPointer<QMenuBar> m_menuBar;
    QPointer<QWidget> m_home;
    QList<QPointer<QAbstractButton>> m_buttons;
};

} // namespace editor
