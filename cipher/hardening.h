#pragma once

// What a process that holds secrets does before it holds one: no core file
// (a crash would write the text and the password to the disk) and not
// dumpable (another process of the same user cannot attach to it or read its
// memory through /proc). Freed memory is wiped as a whole by wipingfree.cpp,
// which the programs link.

namespace cipher {

// Call first thing in main, before any secret exists. A failure is reported
// once on standard error, as "<program>: ...", and the program goes on.
// Developer builds (not release or package builds) leave the process
// dumpable when VLQ_ALLOW_CORE_DUMPS=1 is set, for debugging crashes.
void hardenProcess(const char *program);

// Overwrites the stack below the caller's frame (as deep as the work of a
// command reaches), where a library's locals may have held the password or
// text: call from a shallow frame once the work is done.
void wipeStack();

// Whether free() and realloc() of this program overwrite what they give back
// (false in sanitizer builds, whose allocator is the sanitizer's own).
bool freedMemoryIsWiped();

} // namespace cipher
