// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <thread>

namespace kalvio {

// Joins threads that were told to end, on a thread of its own, so that
// nobody who waits for the screen waits for them. Whatever has not ended
// when the program exits is waited for then, after its windows are gone.
// A thread handed over must own everything it still uses.
void JoinInBackground(std::thread thread);

}
