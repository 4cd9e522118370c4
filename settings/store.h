#pragma once

// The program's settings: string values under a tree of keys named by
// backslash paths ("\software\Qumo\Velmorandquist\environment"), kept in one
// readable text file at the user's XDG config location. Every user opens a
// key, reads or writes, and closes it again at once. Several running copies
// share the file: each write re-reads it under a lock and replaces it
// atomically, so the last writer of a value wins and nothing else is lost.

#include <QString>

#include <stdexcept>

namespace settings {

// Failures of the store are exceptions whose what() is the text the user sees
// (UTF-8).
class Error : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class Store
{
public:
    // The file: $XDG_CONFIG_HOME/velmorandquist/settings (default ~/.config).
    static QString defaultFilePath();

    explicit Store(const QString &filePath = defaultFilePath());
    ~Store();
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    // True when the key exists and the store can be written (full access).
    bool keyExists(const QString &path);
    // Creates the key and any missing keys above it.
    // Throws Error("Failed to create key %1") (the path).
    void createKey(const QString &path);
    // Makes the key current, creating it when missing and canCreate is set.
    // False on failure, without an error; later reads then give empty text
    // and writes fail.
    bool openKey(const QString &path, bool canCreate);
    // An absent value, an empty one, or no current key give empty text; a
    // value of another type throws Error("Invalid data type for '%1'"); the
    // text ends at its first zero character.
    QString readString(const QString &name);
    // Throws Error("Failed to set data for '%1'") (the value name).
    void writeString(const QString &name, const QString &value);
    void closeKey();

    QString filePath() const;

private:
    struct Private;
    Private *d;
};

} // namespace settings
