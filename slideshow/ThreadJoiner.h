// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <thread>

namespace kalvio {

// Joins threads that were told to end, on a thread of its own, so that
// nobody who waits for the screen waits for them. At exit it waits a moment
// (at most half a second) for those that are about to end; a thread still
// stuck then, in a call on a share that no longer answers, is left to the
// process's exit: it cannot be joined. A thread handed over must own
// everything it still uses.
void JoinInBackground(std::thread thread);

}
