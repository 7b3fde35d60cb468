// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/graphics/Bitmap.h"
#include "platform/picture/JpegLimits.h"

// Pictures made at the size they are shown, while they are decoded.
namespace kalvio {

// The picture made exactly width x height pixels while it is decoded: rows
// stream from the decoder into a resampler, so only screen-sized buffers are
// held (and, for progressive files, libjpeg's coefficients). Turned upright
// like the full-size picture: width and height are the upright picture's.
// Errors as LoadJpegMemory; a width or height below 1 gives the full-size
// picture.
Bitmap RenderJpegMemory(const uint8_t* data, size_t size, const std::string& name,
                        int32_t width, int32_t height, JpegWarnings* warnings = nullptr,
                        const JpegLimits& limits = {}, const CancelFlag* cancel = nullptr,
                        JpegCost* cost = nullptr);

// RenderJpegMemory through libjpeg's scaled decoding at 1/denominator (2, 4
// or 8; 1 for none): for measuring what that would cost. RenderJpegMemory
// itself always decodes at full size.
Bitmap RenderJpegMemoryScaled(const uint8_t* data, size_t size, const std::string& name, int32_t width, int32_t height,
                              uint32_t denominator);

// The picture of `path` made exactly width x height pixels (stretched in both
// directions, as the slideshow shows it), for a screen of that size. Errors as
// LoadPictureFile; PictureCancelled when `cancel` was set.
Bitmap LoadPictureRendition(const std::string& path, int32_t width, int32_t height,
                            const CancelFlag* cancel = nullptr);

}
