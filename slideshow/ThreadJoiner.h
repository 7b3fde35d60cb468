// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <thread>

namespace kalvio {

// Joins threads that were told to end, on a thread of its own, so that
// nobody who waits for the screen waits for them. Each is joined as soon as
// it has ended, whatever the order it was handed in: a thread stuck for good
// in a call on a share that no longer answers holds only itself. At exit the
// joiner waits a moment (at most half a second) for those about to end; one
// still stuck then is left to the process's exit. A thread handed over must
// own everything it still uses.
void JoinInBackground(std::thread thread);

// Threads handed over and not joined yet: those still running.
size_t ThreadsAwaitingJoin();
// Waits until exactly `count` threads await their join, woken by each pass of
// the joiner, for at most `limit`; true when they do. For tests.
bool AwaitThreadsAwaitingJoin(size_t count, std::chrono::milliseconds limit);

}
