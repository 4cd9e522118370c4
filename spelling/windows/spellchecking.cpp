#include "spelling/windows/spellchecking.h"

#include "gui/modal.h"
#include "gui/richedit.h"
#include "gui/spellunderline.h"
#include "settings/values.h"
#include "spelling/library.h"
#include "spelling/windows/spellcheckwindow.h"

#include <QLocale>

namespace spelling::windows {

SpellChecking::SpellChecking(gui::RichEdit &editor, Markers markers, QObject *parent)
    : QObject(parent)
    , m_library(library())
    , m_underline(new gui::SpellUnderline(editor, markers))
    , m_window(std::make_unique<SpellCheckWindow>(editor, markers))
{
    connect(m_underline, &gui::SpellUnderline::corrected, this, &SpellChecking::textChanged);
    connect(m_window.get(), &SpellCheckWindow::textChanged, this, &SpellChecking::textChanged);
    connect(m_window.get(), &SpellCheckWindow::languageChosen, this, [this](const QString &tag) {
        useLanguage(tag);
        gui::guarded([&] { settings::writeSpellingLanguage(tag); });
    });
}

SpellChecking::~SpellChecking() = default;

void SpellChecking::restore()
{
    m_language = m_library.languageFor(QLocale::system());
    const QString stored = settings::readSpellingLanguage();
    if (m_library.languages().contains(stored))
        m_language = stored;
    m_asYouType = isAvailable() && settings::readCheckAsYouType();
    applyUnderline();
}

bool SpellChecking::isAvailable() const
{
    return !m_library.isEmpty();
}

void SpellChecking::setChecksAsYouType(bool on)
{
    m_asYouType = on && isAvailable();
    applyUnderline();
    settings::writeCheckAsYouType(on);
}

void SpellChecking::useLanguage(const QString &language)
{
    m_language = language;
    applyUnderline();
}

void SpellChecking::applyUnderline()
{
    m_underline->setChecker(m_asYouType ? m_library.checker(m_language) : nullptr);
}

void SpellChecking::forgetText()
{
    m_library.forgetWords();
}

void SpellChecking::spellCheck()
{
    if (m_language.isEmpty())
        m_language = m_library.languageFor(QLocale::system());
    m_window->run(m_library, m_language);
}

QList<QAction *> SpellChecking::addSuggestions(QMenu &menu, const QPoint &at)
{
    return m_underline->addSuggestions(menu, at);
}

} // namespace spelling::windows
