#pragma once

// The few POSIX services vlq needs: whole-stream reads and writes, the
// password file, and a password prompt on the terminal without echo.

#include <string>
#include <string_view>

namespace vlq {

// Reads the descriptor to its end; false on a read error (errno tells why).
bool readAll(int fd, std::string &out);
// Writes everything, retrying short writes; false on an error.
bool writeAll(int fd, std::string_view data);

// The first line of the file, without its line end (LF, CR LF or a last CR). False when
// the file cannot be read; error then holds the reason.
bool readPasswordFile(const std::string &path, std::string &password, std::string &error);

enum class Prompt {
    Answered,
    NoTerminal, // no controlling terminal to ask on
    Failed, // the terminal failed mid-way
};
// Shows prompt on the controlling terminal and reads one line with echo off;
// the terminal is restored afterwards, also when a signal ends the program.
Prompt askPassword(const char *prompt, std::string &password);

} // namespace vlq
