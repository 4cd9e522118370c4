#pragma once

// The desktop's keyring, where a mail password the user asked to remember is
// kept (never in the settings file). Where there is no keyring, nothing is
// kept and the password is asked at every send.

#include <QString>

#include <optional>

namespace mail::windows {

class Keyring
{
public:
    // The password kept for the key, if any.
    static std::optional<QString> read(const QString &key);
    // False when no keyring took it.
    static bool write(const QString &key, const QString &password);
    static void remove(const QString &key);
};

} // namespace mail::windows
