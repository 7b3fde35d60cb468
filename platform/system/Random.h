// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// The process-wide pseudo-random generator. The slideshow seeds it from the
// clock once per show; the style choice and the ragged transitions draw from it.
namespace kalvio {

// Uniform in 0 .. n - 1; Random(0) (and any n <= 0) gives 0.
int32_t Random(int32_t n);
void RandomSeed(uint64_t seed);
void RandomizeFromClock();

}
