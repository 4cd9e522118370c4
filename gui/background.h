#pragma once

// Long work (key derivation, a long text's cipher) off the window's thread:
// the windows keep repainting and timers keep firing while it runs, the
// busy cursor shows, and the user's input (keys, mouse, a window's close
// button) is ignored until the result is in, so nothing changes the
// document under the work and no command starts twice.

#include <functional>

namespace gui {

// Runs work on a thread of its own and returns when it is done; an
// exception it raises is raised here. Work that held secrets wipes what it
// left on its own stack before it returns.
void runInBackground(const std::function<void()> &work);

// Whether runInBackground() is waiting for work now.
bool workingInBackground();

} // namespace gui
