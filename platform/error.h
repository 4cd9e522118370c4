#pragma once

// Failures of files, printing and the settings store are exceptions carrying
// the text the user sees; the command that raised one ends there and the
// application's error box shows the text.

#include <QString>
#include <stdexcept>

namespace platform {

class Error : public std::runtime_error
{
public:
    explicit Error(const QString &text)
        : std::runtime_error(text.toStdString())
        , m_text(text)
    { }
    const QString &text() const noexcept { return m_text; }

private:
    QString m_text;
};

} // namespace platform
