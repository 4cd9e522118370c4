#pragma once

// The editor's spelling: the Spell Check command with its window, checking
// as you type with its underline, and the suggestions of the editor's
// context menu, all in one language, kept in the settings with whether
// checking as you type is on. The markers of the encrypted block come from
// whoever knows the block: what lies between them is never checked.

#include "spelling/words.h"

#include <QList>
#include <QObject>

#include <memory>

class QAction;
class QMenu;
class QPoint;

namespace gui {
class RichEdit;
class SpellUnderline;
} // namespace gui

namespace spelling {
class Library;
}

namespace spelling::windows {

class SpellCheckWindow;

class SpellChecking : public QObject
{
    Q_OBJECT
public:
    // Takes its dictionaries from spelling::library(); nothing is read from
    // the settings before restore().
    SpellChecking(gui::RichEdit &editor, Markers markers, QObject *parent = nullptr);
    ~SpellChecking() override;

    // The language and checking as you type as stored, falling back to the
    // user's locale and on. Throws settings::Error.
    void restore();

    // Whether any dictionary is installed; without one nothing is checked.
    bool isAvailable() const;
    QString language() const { return m_language; }
    bool checksAsYouType() const { return m_asYouType; }
    // Turns checking as you type on or off, then stores it; throws
    // settings::Error when it cannot be stored (it is switched all the same).
    void setChecksAsYouType(bool on);

    // The text was replaced whole (encrypted, emptied, another opened):
    // nothing kept of the words it held.
    void forgetText();

    // The Spell Check command (with a dictionary installed).
    void spellCheck();
    // See gui::SpellUnderline::addSuggestions.
    QList<QAction *> addSuggestions(QMenu &menu, const QPoint &at);

    gui::SpellUnderline &underline() const { return *m_underline; }
    SpellCheckWindow &window() const { return *m_window; }

signals:
    // The window or a suggestion changed the editor's text.
    void textChanged();

private:
    void useLanguage(const QString &language);
    void applyUnderline();

    Library &m_library;
    gui::SpellUnderline *m_underline; // the editor's child
    std::unique_ptr<SpellCheckWindow> m_window;
    QString m_language;
    bool m_asYouType = false;
};

} // namespace spelling::windows
