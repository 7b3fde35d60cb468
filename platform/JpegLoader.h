#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/PictureError.h"

namespace kalvio {

// Set from another thread to end a decode early; the loader looks at it
// between rows and between the scans of progressive files, and then throws
// PictureCancelled.
using CancelFlag = std::atomic<bool>;

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
    // The work of one picture: the blocks of every scan, added up. A file can
    // declare many scans that each walk the whole picture while holding no
    // data; real pictures within the memory limit need at most about 40
    // million.
    uint64_t maxBlockScans = 64'000'000;
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

// What a decode cost: all that libjpeg asked of its memory manager (it frees
// nothing before the end), and its work (the blocks of every scan, added up).
struct JpegCost {
    size_t decoderBytes = 0;
    uint64_t blockScans = 0;
};

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

// The bytes of a picture file; PictureError when it is not a regular file or
// is larger than the limit.
std::vector<uint8_t> ReadPictureBytes(const std::string& path, const JpegLimits& limits = {});

// True for ".jpg" and ".jpeg" in any letter case.
bool IsJpegFileName(const std::string& path);

// Loads a picture file, choosing the format by its extension: ".jpg" and
// ".jpeg" (any letter case) are JPEG; any other extension is a PictureError.
Bitmap LoadPictureFile(const std::string& path);

// The picture of `path` made exactly width x height pixels (stretched in both
// directions, as the slideshow shows it), for a screen of that size. Errors as
// LoadPictureFile; PictureCancelled when `cancel` was set.
Bitmap LoadPictureRendition(const std::string& path, int32_t width, int32_t height,
                            const CancelFlag* cancel = nullptr);

}
