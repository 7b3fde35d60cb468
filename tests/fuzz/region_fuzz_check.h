// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>

// One input of the region and composition fuzzer, shared by the libFuzzer
// target and the test that replays its corpus. The bytes choose either a
// sequence of shapes combined by every mode (checked pixel by pixel against a
// slow model, and the bulk builder against the one-by-one union), the result
// tiled over offsets that reach the ends of the coordinate range, or one
// transition frame (any style, progress, step and frame size, checked against
// the endpoint rules and the style's own clip region).
namespace kalvio::fuzz {

// A broken rule; the message names the input's decoded parameters.
struct FuzzFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws FuzzFailure on a wrong result.
void CheckRegionInput(const uint8_t* data, size_t size);

}
