#pragma once

// Small helpers the suites share: files in and out, and the text of the error
// a piece of code throws.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <exception>
#include <functional>

namespace testsupport {

// The file's bytes, or nothing when it cannot be read.
inline QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Writes the bytes, making the folders on the way; false on failure.
inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The text of the failure the code throws, or "(no error)".
inline QString errorOf(const std::function<void()> &code)
{
    try {
        code();
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    }
    return QStringLiteral("(no error)");
}

} // namespace testsupport
