#pragma once

// Every value the program keeps in its store, by name: the only place that
// knows their key paths and value names.

#include <QString>

namespace settings {

// The program's own key, made at start-up when it is missing.
QString programKeyPath();
// Creates the program's key when it does not exist. Throws Error.
void ensureProgramKey();

// The key and value that hold the start-up notice's choice.
QString startKeyPath();
QString startKeyName();
// The value as stored; empty when absent or when the key cannot be opened.
// Throws Error for a value of another type.
QString readStartKey();
// Stores that the notice is not to come again. Throws Error.
void suppressStartupNotice();

} // namespace settings
