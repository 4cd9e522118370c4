#pragma once

// The editor's command line, read before anything of Qt exists, so that a
// mistyped option is answered on the terminal even without a display.

#include <string>
#include <vector>

namespace editor {

struct CommandLine
{
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    // Run: the file to open, empty for none.
    std::string file;
    // Error: what is wrong, one line without the program's name.
    std::string error;
    // Run: a line for the terminal about what was passed over, without the
    // program's name; empty when nothing was.
    std::string warning;
};

// argv as main() has it. Qt's own options (-platform, -style, -display...)
// are left for QApplication; any other option is an error. More than one
// file (a path with a blank, unquoted, comes in pieces) opens none, with a
// warning. "--" ends the options, so a file may start with "-".
CommandLine parseCommandLine(int argc, const char *const *argv);

} // namespace editor
