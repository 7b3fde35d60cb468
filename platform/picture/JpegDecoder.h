// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The libjpeg session shared by the full-size loader and the rendition: one
// error manager, the decoding budget and the cancel flag (checked by the
// progress monitor), and an account of the decoder's own memory. Internal to
// platform/.

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/picture/ExifOrientation.h"
#include "platform/graphics/Bitmap.h"
#include "platform/picture/JpegLimits.h"
#include "platform/picture/PictureError.h"

#include <cstdio> // jpeglib.h needs FILE
#include <jpeglib.h>

namespace kalvio::jpeg {

// libjpeg reports fatal errors through error_exit, which must not return. Ours
// formats the message and jumps back to the one protected call that is
// running (see Protected); the caller then cleans up and throws.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    char firstWarning[JMSG_LENGTH_MAX];
    bool cancelled;
};

// Called by libjpeg once per row group of every pass, input scans of
// progressive files included: the place to stop a decode that has spent its
// budget or was cancelled.
struct ProgressMonitor {
    jpeg_progress_mgr pub;
    int maxScans;
    uint64_t maxBlockScans;
    uint64_t blockScans; // blocks of every scan started so far
    int countedScan;     // the last scan whose blocks are in blockScans
    const CancelFlag* cancel;
};

// libjpeg's allocators, wrapped to count and cap what it asks for.
struct MemoryAccount {
    void* (*allocSmall)(j_common_ptr, int, size_t);
    void* (*allocLarge)(j_common_ptr, int, size_t);
    JSAMPARRAY (*allocSarray)(j_common_ptr, int, JDIMENSION, JDIMENSION);
    JBLOCKARRAY (*allocBarray)(j_common_ptr, int, JDIMENSION, JDIMENSION);
    jvirt_sarray_ptr (*requestSarray)(j_common_ptr, int, boolean, JDIMENSION, JDIMENSION, JDIMENSION);
    jvirt_barray_ptr (*requestBarray)(j_common_ptr, int, boolean, JDIMENSION, JDIMENSION, JDIMENSION);
    size_t bytes;
    size_t limit;
};

struct Decoder {
    // Zeroed, so destroying is safe even when creation itself failed.
    jpeg_decompress_struct cinfo {};
    ErrorManager err {};
    ProgressMonitor progress {};
    MemoryAccount memory {};
    // From the first Exif block, read with the header (the saved markers
    // are gone once the decode ends).
    Orientation orientation = Orientation::Upright;

    Decoder() = default;
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;
    // The single cleanup path, whatever happened.
    ~Decoder() { jpeg_destroy_decompress(&cinfo); }
};

// Runs one libjpeg step with the error jump armed. The step is plain code
// holding no objects with destructors, so jumping out of it is safe. Returns
// false when libjpeg failed; the message is then in d.err.message.
template <typename Step>
bool Protected(Decoder& d, Step step)
{
    if (setjmp(d.err.jump))
        return false;
    step();
    return true;
}

[[noreturn]] void Fail(const std::string& name, const std::string& cause);

// The picture's own pixels (w x h) could not be had.
[[noreturn]] void FailPixels(const std::string& name, int32_t width, int32_t height);

// Throws for a failed libjpeg step: PictureCancelled when the cancel flag
// stopped it, otherwise PictureError naming the file and the cause. What the
// decode had cost by then goes to `cost` first.
[[noreturn]] void FailDecoding(const std::string& name, const Decoder& d, JpegCost* cost = nullptr);

// Checks the start of the data, creates the decoder with the limits and the
// flag armed, and reads the header; refuses what the header alone shows to be
// unsupported or too large. Notes the Exif orientation in d.orientation.
void OpenDecoder(Decoder& d, const uint8_t* data, size_t size, const std::string& name,
                 const JpegLimits& limits, const CancelFlag* cancel);

// The decoded picture turned as its Exif block says; PictureError when the
// turned copy cannot be held.
Bitmap Upright(Bitmap picture, Orientation, const std::string& name);

// Fills `warnings` and `cost` (either may be null) from a finished decode.
void Report(const Decoder& d, JpegWarnings* warnings, JpegCost* cost);

// Turns one CMYK pixel (as libjpeg gives it) into RGB. Adobe files store the
// channels inverted (255 = no ink), as Photoshop writes them; plain files
// store ink amounts.
inline Pixel CmykPixel(unsigned c, unsigned m, unsigned y, unsigned k, bool inverted)
{
    if (!inverted) {
        c = 255 - c;
        m = 255 - m;
        y = 255 - y;
        k = 255 - k;
    }
    return RGB(uint8_t((c * k + 127) / 255), uint8_t((m * k + 127) / 255), uint8_t((y * k + 127) / 255));
}

}
