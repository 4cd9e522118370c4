#include "editor/sharedletters.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QShortcutEvent>

namespace editor {

SharedLetters::SharedLetters(
    QMenuBar *menuBar, const QList<QAbstractButton *> &buttons, QWidget *home, QObject *parent)
    : QObject(parent)
    , m_menuBar(menuBar)
    , m_home(home)
{
    for (QAbstractButton *b : buttons) {
        m_buttons << b;
        b->installEventFilter(this);
    }
    menuBar->installEventFilter(this);
    // The press that reaches an open menu of the bar is the menu's own key.
    for (QAction *title : menuBar->actions())
        if (title->menu())
            title->menu()->installEventFilter(this);
}

QList<SharedLetters::Owner> SharedLetters::owners(const QKeySequence &key) const
{
    QList<Owner> found;
    for (const auto &b : m_buttons)
        if (b && b->isVisible() && b->isEnabled() && QKeySequence::mnemonic(b->text()) == key)
            found.append({b, nullptr});
    if (m_menuBar && m_menuBar->isVisible()) {
        for (QAction *title : m_menuBar->actions())
            if (title->isVisible() && title->isEnabled()
                && QKeySequence::mnemonic(title->text()) == key)
                found.append({nullptr, title});
    }
    return found;
}

bool SharedLetters::moveOn(const QKeySequence &key)
{
    const QList<Owner> all = owners(key);
    if (all.size() < 2)
        return false;
    const QWidget *popup = QApplication::activePopupWidget();
    qsizetype current = -1;
    for (qsizetype i = 0; i < all.size(); ++i) {
        if ((all[i].button && all[i].button->hasFocus())
            || (all[i].title && popup && popup == all[i].title->menu()))
            current = i;
    }
    const Owner next = all[(current + 1) % all.size()];
    if (popup) {
        // Closing the menu leaves the bar; the focus goes back where it was.
        m_menuBar->setActiveAction(nullptr);
        if (QApplication::activePopupWidget())
            QApplication::activePopupWidget()->close();
    }
    if (next.button) {
        next.button->setFocus(Qt::ShortcutFocusReason);
    } else {
        // The focus rests at home under the menu: once the menu closes (by
        // Escape, or by the press of Alt that starts the next letter) no
        // button holds it, and the round starts again.
        if (m_home)
            m_home->setFocus(Qt::OtherFocusReason);
        m_menuBar->setActiveAction(next.title);
        // As the bar's own letter does: the first entry is highlighted, so
        // Enter takes it.
        for (QAction *entry : next.title->menu()->actions())
            if (!entry->isSeparator() && entry->isVisible() && entry->isEnabled()) {
                next.title->menu()->setActiveAction(entry);
                break;
            }
    }
    return true;
}

bool SharedLetters::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Shortcut) {
        const auto *shortcut = static_cast<QShortcutEvent *>(event);
        if (shortcut->isAmbiguous() && moveOn(shortcut->key()))
            return true;
    } else if (event->type() == QEvent::KeyPress && qobject_cast<QAbstractButton *>(watched)) {
        // Escape leaves a button reached by its letter.
        if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape && m_home) {
            m_home->setFocus(Qt::OtherFocusReason);
            return true;
        }
    } else if (event->type() == QEvent::KeyPress && qobject_cast<QMenu *>(watched)) {
        // The letter pressed again with Alt still held reaches the open menu
        // itself: when it is the menu's own title's and none of its entries',
        // the press moves on.
        const auto *key = static_cast<QKeyEvent *>(event);
        auto *menu = static_cast<QMenu *>(watched);
        if (key->modifiers() == Qt::AltModifier && key->key() >= Qt::Key_0
            && key->key() <= Qt::Key_Z) {
            const QKeySequence letter(QKeyCombination(Qt::AltModifier, Qt::Key(key->key())));
            bool entryHasIt = false;
            for (QAction *entry : menu->actions())
                entryHasIt = entryHasIt || QKeySequence::mnemonic(entry->text()) == letter;
            if (!entryHasIt && QKeySequence::mnemonic(menu->menuAction()->text()) == letter
                && moveOn(letter))
                return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace editor
