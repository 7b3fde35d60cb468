#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Bitmap.h"
#include "platform/PictureError.h"

namespace kalvio {

// Bounds on what one picture may cost. Pictures larger than maxPixels are
// refused right after their header is read, before anything is allocated;
// maxDecoderBytes caps the decoder's own working memory (a progressive picture
// keeps all its coefficients, several bytes a pixel).
struct JpegLimits {
    size_t maxPixels = 250'000'000;
    size_t maxDecoderBytes = size_t(1) << 30;
    // Progressive files with absurd numbers of scans re-walk the whole picture
    // for each; real files have at most a few dozen.
    int maxScans = 100;
    // Larger files are refused unread (a picture within the pixel limit is
    // far smaller).
    size_t maxFileBytes = size_t(1) << 30;
};

// What a successful decode noticed: damaged data that was decoded anyway
// (truncated file, corrupt segment). The picture shows what could be decoded.
struct JpegWarnings {
    long count = 0;
    std::string first;
};

// Decodes a JPEG picture (baseline, progressive or arithmetic-coded; grey,
// YCbCr, RGB, CMYK or YCCK) into a full-size bitmap. Throws PictureError
// naming the file and the cause on every failure.
Bitmap LoadJpegFile(const std::string& path, JpegWarnings* warnings = nullptr,
                    const JpegLimits& limits = {});

// The same from bytes in memory; `name` is used in error texts.
Bitmap LoadJpegMemory(const uint8_t* data, size_t size, const std::string& name,
                      JpegWarnings* warnings = nullptr, const JpegLimits& limits = {});

// True for ".jpg" and ".jpeg" in any letter case.
bool IsJpegFileName(const std::string& path);

// Loads a picture file, choosing the format by its extension: ".jpg" and
// ".jpeg" (any letter case) are JPEG; any other extension is a PictureError.
Bitmap LoadPictureFile(const std::string& path);

// Set from another thread to end a decode early; the loader looks at it as it
// decodes and then throws PictureCancelled.
using CancelFlag = std::atomic<bool>;

// The picture of `path` made exactly width x height pixels (stretched in both
// directions, as the slideshow shows it), for a screen of that size. Errors as
// LoadPictureFile; PictureCancelled when `cancel` was set.
Bitmap LoadPictureRendition(const std::string& path, int32_t width, int32_t height,
                            const CancelFlag* cancel = nullptr);

}
