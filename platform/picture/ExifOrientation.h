// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

namespace kalvio {

// How a picture's stored pixels must be turned to stand upright: the values
// 1 to 8 of the Exif orientation tag. Rotations are clockwise.
enum class Orientation : uint8_t {
    Upright = 1,
    MirrorHorizontal,
    Rotate180,
    MirrorVertical,
    Transpose,
    Rotate90,
    Transverse,
    Rotate270,
};

// True when an APP1 marker's payload is an Exif block (starts "Exif\0\0");
// other APP1 payloads hold XMP and the like.
bool IsExifPayload(const uint8_t* payload, size_t size);

// The orientation recorded in an APP1 marker's payload (the bytes after the
// marker's length, starting "Exif\0\0"): the one orientation tag of its first
// image directory, in either byte order. Upright when there is none or it
// cannot be trusted: a damaged or truncated block, a directory past its end,
// a tag of the wrong type or count, a value outside 1 to 8, or the tag twice.
// Reads nothing outside [payload, payload + size).
Orientation ReadExifOrientation(const uint8_t* payload, size_t size);

}
