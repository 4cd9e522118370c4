#pragma once

// Wiping a file: overwriting its whole length with random bytes in place,
// flushing them to the device and deleting it. No window here; the wipe
// window asks first and shows what fails.

#include <QString>

#include <functional>

class QFile;

namespace editor {

// Wipes the file. Before anything is written, readCheck reads the file
// through, opened for reading (a file that cannot be read is not wiped).
// Refused before anything is touched: an empty name, a name that does not
// exist, a symbolic link, a folder, a device or other special file, a file
// nobody may write. Throws document::Error with the user's text.
void wipeFile(const QString &name, const std::function<void(QFile &)> &readCheck);

} // namespace editor
