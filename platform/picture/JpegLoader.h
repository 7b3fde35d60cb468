// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/graphics/Bitmap.h"
#include "platform/picture/JpegLimits.h"
#include "platform/picture/PictureError.h"

namespace kalvio {

// Decodes a JPEG picture (baseline, progressive or arithmetic-coded; grey,
// YCbCr, RGB, CMYK or YCCK) into a full-size bitmap, turned upright as its
// Exif orientation says (width and height swap for quarter turns). Throws
// PictureError naming the file and the cause on every failure,
// PictureCancelled when `cancel` was set.
Bitmap LoadJpegFile(const std::string& path, JpegWarnings* warnings = nullptr,
                    const JpegLimits& limits = {}, const CancelFlag* cancel = nullptr);

// The same from bytes in memory; `name` is used in error texts.
Bitmap LoadJpegMemory(const uint8_t* data, size_t size, const std::string& name,
                      JpegWarnings* warnings = nullptr, const JpegLimits& limits = {},
                      const CancelFlag* cancel = nullptr, JpegCost* cost = nullptr);

// The bytes of a picture file; PictureError when it is not a regular file or
// is larger than the limit.
std::vector<uint8_t> ReadPictureBytes(const std::string& path, const JpegLimits& limits = {});

// True for ".jpg" and ".jpeg" in any letter case.
bool IsJpegFileName(const std::string& path);

// Throws PictureError unless the name is of a picture type that can be
// shown: ".jpg" or ".jpeg" in any letter case.
void CheckPictureFileName(const std::string& path);

// Loads a picture file, choosing the format by its extension: ".jpg" and
// ".jpeg" (any letter case) are JPEG; any other extension is a PictureError.
Bitmap LoadPictureFile(const std::string& path);

}
