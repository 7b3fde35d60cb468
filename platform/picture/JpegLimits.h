// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// What a picture decode may cost and what it reports besides the picture:
// shared by the full-size loader, the rendition and the libjpeg session under
// them.
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
// A decode that failed on its way reports what it had cost until then.
struct JpegCost {
    size_t decoderBytes = 0;
    uint64_t blockScans = 0;
};

}
