#pragma once

// The desktop's keyring, where a mail password the user asked to remember is
// kept (never in the settings file). Where no keyring answers, nothing is
// kept and the password is asked for at every send. The keyring in use can be
// replaced (tests have no keyring service).

#include <QString>

#include <optional>

namespace mail::windows {

class Keyring
{
public:
    struct Lookup
    {
        std::optional<QString> password; // the one kept for the key, if any
        bool answered = false; // a keyring answered, whether or not it kept one
        QString whyNot; // when none answered: why, in the user's words
    };

    virtual ~Keyring();
    // Waits for the answer, keeping the windows alive meanwhile.
    virtual Lookup read(const QString &key) = 0;
    // An empty text when the keyring took it, else why not.
    virtual QString write(const QString &key, const QString &password) = 0;
    virtual void remove(const QString &key) = 0;
    // Ends a running wait at once, as if no keyring had answered.
    virtual void cancel() = 0;
};

// The keyring in use: the desktop's unless another was installed.
Keyring &keyring();
// Installs one (not owned); nullptr brings back the desktop's.
void installKeyring(Keyring *keyring);

} // namespace mail::windows
