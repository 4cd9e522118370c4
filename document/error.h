#pragma once

// Failures of files are exceptions carrying the text the user sees (UTF-8 in
// what()); the command that raised one ends there and the application's
// error box shows the text.

#include <QString>

#include <stdexcept>

namespace document {

class Error : public std::runtime_error
{
public:
    explicit Error(const QString &text)
        : std::runtime_error(text.toStdString())
    { }
    QString text() const { return QString::fromUtf8(what()); }
};

} // namespace document
