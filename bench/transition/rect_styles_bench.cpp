// SPDX-License-Identifier: GPL-3.0-or-later
// One frame of each rectangle style at progress 50, beside a plain copy of one
// frame's bytes at the same size: the copy is the floor a frame cannot beat,
// since every frame starts by drawing the whole old picture.

#include "fixtures/FrameFixture.h"

namespace {

const bool registered = kalvio::bench::RegisterFrameBenchmarks(1, 57);

}
