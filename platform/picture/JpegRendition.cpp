// SPDX-License-Identifier: GPL-3.0-or-later
// A JPEG picture decoded straight to the size it is shown: the decoder's rows
// (the same rows the full-size picture is made of) stream into a resampler
// that keeps only the window of rows its filter needs.
#include "platform/picture/JpegRendition.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "platform/picture/JpegDecoder.h"
#include "platform/picture/JpegLoader.h"
#include "platform/picture/Orient.h"
#include "platform/picture/Resampler.h"

namespace kalvio {

namespace {

// A CMYK row as the full-size loader turns it into RGB, three bytes a pixel.
void CmykToRgbRow(const uint8_t* cmyk, int32_t width, bool inverted, uint8_t* rgb)
{
    for (int32_t x = 0; x < width; ++x) {
        const Pixel p = jpeg::CmykPixel(cmyk[4 * x], cmyk[4 * x + 1], cmyk[4 * x + 2], cmyk[4 * x + 3], inverted);
        rgb[3 * x] = RedOf(p);
        rgb[3 * x + 1] = GreenOf(p);
        rgb[3 * x + 2] = BlueOf(p);
    }
}

// Through libjpeg's scaled decoding at 1/denominator. The renditions shown
// never take it (denominator 1): its IDCT of fewer coefficients, block by
// block, is no real filter, and on photos with fine detail the loss reaches
// the screen at any margin measured (up to 4 times the target; README).
Bitmap Render(const uint8_t* data, size_t size, const std::string& name, int32_t shownWidth, int32_t shownHeight,
              uint32_t denominator, JpegWarnings* warnings, const JpegLimits& limits, const CancelFlag* cancel,
              JpegCost* cost)
{
    if (shownWidth <= 0 || shownHeight <= 0)
        return LoadJpegMemory(data, size, name, warnings, limits, cancel, cost);
    auto d = std::make_unique<jpeg::Decoder>();
    jpeg::OpenDecoder(*d, data, size, name, limits, cancel);
    jpeg_decompress_struct& c = d->cinfo;
    // The stored picture is resampled to the shown size as it lies, then
    // turned upright: a quarter turn makes it the other way round first.
    const Orientation orientation = d->orientation;
    const bool swaps = SwapsAxes(orientation);
    const int32_t width = swaps ? shownHeight : shownWidth;
    const int32_t height = swaps ? shownWidth : shownHeight;
    // At its own size the picture is the full decode, exactly.
    if (c.image_width == JDIMENSION(width) && c.image_height == JDIMENSION(height)) {
        d.reset();
        return LoadJpegMemory(data, size, name, warnings, limits, cancel, cost);
    }
    const bool cmyk = c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK;
    const bool grey = c.jpeg_color_space == JCS_GRAYSCALE;
    c.out_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    c.scale_num = 1;
    c.scale_denom = denominator;
    if (!jpeg::Protected(*d, [&] { jpeg_start_decompress(&c); }))
        jpeg::FailDecoding(name, *d, cost);
    const int32_t inWidth = int32_t(c.output_width), inHeight = int32_t(c.output_height);
    const int channels = grey ? 1 : 3;
    if (c.output_components != (grey ? 1 : cmyk ? 4 : 3))
        jpeg::Fail(name, "unexpected decoder output layout");

    // Reductions (by area) take the sharp windowed sinc, enlargements the
    // smooth cubic.
    const Kernel kernel = uint64_t(width) * uint64_t(height) > uint64_t(c.image_width) * c.image_height
        ? Kernel::Mitchell : Kernel::Lanczos3;
    constexpr int32_t kBatch = 8;
    std::unique_ptr<RowResampler> resampler;
    std::vector<uint8_t> cmykRows;
    Bitmap bitmap;
    try {
        resampler = std::make_unique<RowResampler>(inWidth, inHeight, width, height, channels, kernel, kBatch);
        if (cmyk)
            cmykRows.resize(size_t(inWidth) * 4 * kBatch);
        bitmap = Bitmap::Unfilled(width, height); // every row is written below
    } catch (const std::bad_alloc&) {
        jpeg::FailPixels(name, width, height);
    } catch (const std::length_error&) {
        jpeg::FailPixels(name, width, height);
    }
    const bool inverted = c.saw_Adobe_marker;
    bool ok = jpeg::Protected(*d, [&] {
        JSAMPROW rows[kBatch];
        int32_t y = 0;
        while (c.output_scanline < c.output_height) {
            const int32_t first = int32_t(c.output_scanline);
            const int32_t count = std::min<int32_t>(kBatch, inHeight - first);
            for (int32_t i = 0; i < count; ++i)
                rows[i] = cmyk ? cmykRows.data() + size_t(i) * size_t(inWidth) * 4 : resampler->slot(first + i);
            // libjpeg gives a row or two a call; a whole batch lets the
            // resampler make its output rows two at a time.
            int32_t got = 0;
            while (got < count) {
                const int32_t more = int32_t(jpeg_read_scanlines(&c, rows + got, JDIMENSION(count - got)));
                if (more == 0)
                    break;
                got += more;
            }
            if (got == 0)
                break;
            if (cmyk)
                for (int32_t i = 0; i < got; ++i)
                    CmykToRgbRow(rows[i], inWidth, inverted, resampler->slot(first + i));
            resampler->fedUpTo(first + got);
            for (; y < height && resampler->ready(y); ++y)
                resampler->makePixels(y, bitmap.row(y));
        }
        jpeg_finish_decompress(&c);
    });
    if (!ok)
        jpeg::FailDecoding(name, *d, cost);
    jpeg::Report(*d, warnings, cost);
    return jpeg::Upright(std::move(bitmap), orientation, name);
}

}

Bitmap RenderJpegMemory(const uint8_t* data, size_t size, const std::string& name, int32_t width, int32_t height,
                        JpegWarnings* warnings, const JpegLimits& limits, const CancelFlag* cancel, JpegCost* cost)
{
    return Render(data, size, name, width, height, 1, warnings, limits, cancel, cost);
}

Bitmap RenderJpegMemoryScaled(const uint8_t* data, size_t size, const std::string& name, int32_t width, int32_t height,
                              uint32_t denominator)
{
    return Render(data, size, name, width, height, denominator, nullptr, {}, nullptr, nullptr);
}

Bitmap LoadPictureRendition(const std::string& path, int32_t width, int32_t height, const CancelFlag* cancel)
{
    CheckPictureFileName(path);
    const std::vector<uint8_t> bytes = ReadPictureBytes(path);
    return RenderJpegMemory(bytes.data(), bytes.size(), path, width, height, nullptr, {}, cancel);
}

}
