#pragma once

// Copies of a password live no longer than the command that uses them: the
// holder overwrites its bytes when it goes.

#include <QByteArray>
#include <QString>
#include <cstring>

namespace cipher {

// Overwrites a buffer in a way the compiler may not drop.
inline void wipe(void *data, std::size_t size)
{
    if (!data || !size)
        return;
    volatile unsigned char *p = static_cast<volatile unsigned char *>(data);
    while (size--)
        *p++ = 0;
}

// Only a buffer this holder owns alone is overwritten: detaching a shared
// one would just make one more copy.
inline void wipe(QString &s)
{
    if (s.isDetached())
        wipe(s.data(), std::size_t(s.size()) * sizeof(QChar));
    s.clear();
}

inline void wipe(QByteArray &b)
{
    if (b.isDetached())
        wipe(b.data(), std::size_t(b.size()));
    b.clear();
}

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

    std::string_view view() const { return {m_bytes.constData(), std::size_t(m_bytes.size())}; }
    qsizetype size() const { return m_bytes.size(); }

private:
    QByteArray m_bytes;
};

} // namespace cipher
