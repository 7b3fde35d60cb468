// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/picture/JpegLoader.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/picture/JpegDecoder.h"

namespace kalvio {

using jpeg::Decoder;
using jpeg::Fail;
using jpeg::FailDecoding;
using jpeg::Protected;

namespace {

// Where libjpeg writes a pixel of 0xffRRGGBB: the bytes in memory order.
constexpr J_COLOR_SPACE kPixelColorSpace
    = std::endian::native == std::endian::little ? JCS_EXT_BGRA : JCS_EXT_ARGB;

// CMYK rows were written 4 bytes a pixel (C, M, Y, K); turn them into RGB in place.
void ConvertCmykRows(Bitmap& bitmap, bool inverted)
{
    auto* bytes = reinterpret_cast<uint8_t*>(bitmap.bits());
    Pixel* out = bitmap.bits();
    size_t n = bitmap.pixelCount();
    for (size_t i = 0; i < n; ++i)
        out[i] = jpeg::CmykPixel(bytes[4 * i], bytes[4 * i + 1], bytes[4 * i + 2], bytes[4 * i + 3], inverted);
}

// How much is read at a time into a chunk that is then appended.
constexpr size_t kReadChunk = 256 * 1024;

// Reads `fd` to its end into `bytes`; the problem, or empty. Memory is taken
// as data arrives, never ahead of it: on a share that opens a file and then
// sends nothing, a read that waits holds one untouched chunk, not a buffer
// the size of the file filled with zeros. `sizeHint` (the file's size when
// opened) is reserved once the first data came; the file may change while it
// is read.
std::string ReadAll(int fd, size_t sizeHint, size_t maxBytes, std::vector<uint8_t>& bytes)
{
    const auto chunk = std::make_unique_for_overwrite<uint8_t[]>(kReadChunk);
    for (;;) {
        const ssize_t n = ::read(fd, chunk.get(), kReadChunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::strerror(errno);
        if (n == 0)
            return {};
        if (bytes.size() + size_t(n) > maxBytes)
            return "the file is too large (more than " + std::to_string(maxBytes) + " bytes)";
        if (bytes.empty())
            bytes.reserve(std::max(sizeHint, size_t(n)));
        bytes.insert(bytes.end(), chunk.get(), chunk.get() + n);
    }
}

}

Bitmap LoadJpegMemory(const uint8_t* data, size_t size, const std::string& name,
                      JpegWarnings* warnings, const JpegLimits& limits, const CancelFlag* cancel,
                      JpegCost* cost)
{
    Decoder d;
    jpeg::OpenDecoder(d, data, size, name, limits, cancel);
    jpeg_decompress_struct& c = d.cinfo;
    const int32_t width = int32_t(c.image_width), height = int32_t(c.image_height);
    const bool cmyk = c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK;
    c.out_color_space = cmyk ? JCS_CMYK : kPixelColorSpace;

    bool ok = Protected(d, [&] { jpeg_start_decompress(&d.cinfo); });
    if (!ok)
        FailDecoding(name, d, cost);
    if (c.output_width != c.image_width || c.output_height != c.image_height
        || c.output_components != 4)
        Fail(name, "unexpected decoder output layout");

    Bitmap bitmap;
    try {
        bitmap = Bitmap::Unfilled(width, height); // every row is decoded into
    } catch (const std::bad_alloc&) {
        jpeg::FailPixels(name, width, height);
    } catch (const std::length_error&) {
        jpeg::FailPixels(name, width, height);
    }

    // Rows go straight into the bitmap, several at a time.
    Pixel* bits = bitmap.bits();
    const size_t stride = size_t(width);
    ok = Protected(d, [&] {
        constexpr int kBatch = 16;
        JSAMPROW rows[kBatch];
        while (d.cinfo.output_scanline < d.cinfo.output_height) {
            JDIMENSION first = d.cinfo.output_scanline;
            int count = int(std::min<JDIMENSION>(kBatch, d.cinfo.output_height - first));
            for (int i = 0; i < count; ++i)
                rows[i] = reinterpret_cast<JSAMPROW>(bits + (first + i) * stride);
            jpeg_read_scanlines(&d.cinfo, rows, JDIMENSION(count));
        }
        jpeg_finish_decompress(&d.cinfo);
    });
    if (!ok)
        FailDecoding(name, d, cost);

    if (cmyk)
        ConvertCmykRows(bitmap, c.saw_Adobe_marker);
    jpeg::Report(d, warnings, cost);
    return jpeg::Upright(std::move(bitmap), d.orientation, name);
}

std::vector<uint8_t> ReadPictureBytes(const std::string& path, const JpegLimits& limits)
{
    // Non-blocking, so a named pipe called "x.jpg" cannot stall the open.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        Fail(path, std::strerror(errno));
    std::vector<uint8_t> bytes;
    std::string problem;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        problem = std::strerror(errno);
    } else if (S_ISDIR(st.st_mode)) {
        problem = std::strerror(EISDIR);
    } else if (!S_ISREG(st.st_mode)) {
        // Pipes, sockets and devices could block or never end.
        problem = "not a regular file";
    } else if (uint64_t(st.st_size) > limits.maxFileBytes) {
        problem = "the file is too large (" + std::to_string(st.st_size) + " bytes)";
    } else {
        try {
            problem = ReadAll(fd, size_t(st.st_size), limits.maxFileBytes, bytes);
        } catch (const std::bad_alloc&) {
            problem = std::strerror(ENOMEM);
        } catch (const std::length_error&) {
            problem = std::strerror(ENOMEM);
        }
    }
    ::close(fd);
    if (!problem.empty())
        Fail(path, problem);
    return bytes;
}

Bitmap LoadJpegFile(const std::string& path, JpegWarnings* warnings, const JpegLimits& limits,
                    const CancelFlag* cancel)
{
    const std::vector<uint8_t> bytes = ReadPictureBytes(path, limits);
    return LoadJpegMemory(bytes.data(), bytes.size(), path, warnings, limits, cancel);
}

bool IsJpegFileName(const std::string& path)
{
    size_t dot = path.find_last_of("./");
    if (dot == std::string::npos || path[dot] != '.')
        return false;
    std::string ext = path.substr(dot);
    for (char& ch : ext)
        if (ch >= 'A' && ch <= 'Z')
            ch = char(ch - 'A' + 'a');
    return ext == ".jpg" || ext == ".jpeg";
}

void CheckPictureFileName(const std::string& path)
{
    if (!IsJpegFileName(path))
        Fail(path, "not a picture type that can be shown (only .jpg and .jpeg)");
}

Bitmap LoadPictureFile(const std::string& path)
{
    CheckPictureFileName(path);
    return LoadJpegFile(path);
}

}
