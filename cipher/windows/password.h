#pragma once

// The passwords the two dialogs take: their 8-bit key, the refusals worded for
// a password and a text as the user typed them, and copies that live no
// longer than the command that uses them.

#include "cipher/cipher.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace cipher::windows {

// Only a buffer this holder owns alone is overwritten: detaching a shared
// one would just make one more copy.
void wipe(QString &s);
void wipe(QByteArray &b);

// A key buffer: the password's bytes, wiped when it goes.
class KeyBuffer
{
public:
    explicit KeyBuffer(QByteArray bytes)
        : m_bytes(std::move(bytes))
    { }
    ~KeyBuffer() { wipe(m_bytes); }
    KeyBuffer(const KeyBuffer &) = delete;
    KeyBuffer &operator=(const KeyBuffer &) = delete;

    BytesView view() const { return {m_bytes.constData(), std::size_t(m_bytes.size())}; }

private:
    QByteArray m_bytes;
};

// The password as the 8-bit key the cipher uses.
QByteArray passwordBytes(const QString &password);

// What in the text the legacy cipher would not give back exactly, named as
// the user typed it, and where ("the character “é” at line 1, column 4");
// nullopt when it would.
std::optional<QString> textProblem(const QString &characters);
// The first password character that cannot be used for encrypting, named as
// typed, and where; nullopt when there is none.
std::optional<QString> passwordProblem(const QString &password);

} // namespace cipher::windows
