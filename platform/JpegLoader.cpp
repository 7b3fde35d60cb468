#include "platform/JpegLoader.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/BitmapDraw.h"
#include "platform/Orient.h"

#include <jpeglib.h>
#include <jerror.h>

namespace kalvio {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return.
// Ours formats the message and jumps back to the one protected call that is
// running (see Protected below); the caller then cleans up and throws.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    char firstWarning[JMSG_LENGTH_MAX];
};

struct ProgressMonitor {
    jpeg_progress_mgr pub;
    int maxScans;
};

void ErrorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings (corrupt but decodable data) are counted, the first one kept; trace
// messages are dropped. Nothing is printed.
void EmitMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return;
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (err->pub.num_warnings == 0)
        (*cinfo->err->format_message)(cinfo, err->firstWarning);
    err->pub.num_warnings++;
}

void CheckScanCount(j_common_ptr cinfo)
{
    auto* monitor = reinterpret_cast<ProgressMonitor*>(cinfo->progress);
    auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->input_scan_number > monitor->maxScans) {
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        std::snprintf(err->message, sizeof err->message, "too many scans (more than %d)",
                      monitor->maxScans);
        std::longjmp(err->jump, 1);
    }
}

struct Decoder {
    // Zeroed, so destroying is safe even when creation itself failed.
    jpeg_decompress_struct cinfo {};
    ErrorManager err {};
    ProgressMonitor progress {};

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

// Where libjpeg writes a pixel of 0xffRRGGBB: the bytes in memory order.
constexpr J_COLOR_SPACE kPixelColorSpace
    = std::endian::native == std::endian::little ? JCS_EXT_BGRA : JCS_EXT_ARGB;

struct Header {
    int32_t width = 0;
    int32_t height = 0;
    bool cmyk = false;
    bool adobe = false;
};

// CMYK rows were written 4 bytes a pixel (C, M, Y, K); turn them into RGB in
// place. Adobe files store the channels inverted (255 = no ink), as
// Photoshop writes them; plain files store ink amounts.
void ConvertCmykRows(Bitmap& bitmap, bool inverted)
{
    auto* bytes = reinterpret_cast<uint8_t*>(bitmap.bits());
    Pixel* out = bitmap.bits();
    size_t n = bitmap.pixelCount();
    for (size_t i = 0; i < n; ++i) {
        unsigned c = bytes[4 * i], m = bytes[4 * i + 1], y = bytes[4 * i + 2], k = bytes[4 * i + 3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        out[i] = RGB(uint8_t((c * k + 127) / 255), uint8_t((m * k + 127) / 255),
                     uint8_t((y * k + 127) / 255));
    }
}

// The orientation of the first Exif block among the saved APP1 markers.
Orientation SavedExifOrientation(const jpeg_decompress_struct& c)
{
    for (jpeg_saved_marker_ptr m = c.marker_list; m; m = m->next)
        if (m->marker == JPEG_APP0 + 1 && IsExifPayload(m->data, m->data_length))
            return ReadExifOrientation(m->data, m->data_length);
    return Orientation::Upright;
}

[[noreturn]] void Fail(const std::string& name, const std::string& cause)
{
    throw PictureError("Cannot load picture \"" + name + "\": " + cause);
}

// The cause of a failed libjpeg step; running out of the memory we allow it
// shows up as a request for backing store, which this build has none of.
[[noreturn]] void FailDecoding(const std::string& name, const Decoder& d)
{
    int code = d.err.pub.msg_code;
    if (code == JERR_NO_BACKING_STORE || code == JERR_OUT_OF_MEMORY)
        Fail(name, "not enough memory to decode the picture ("
                       + std::to_string(d.cinfo.image_width) + " x "
                       + std::to_string(d.cinfo.image_height) + " pixels)");
    Fail(name, d.err.message);
}

}

Bitmap LoadJpegMemory(const uint8_t* data, size_t size, const std::string& name,
                      JpegWarnings* warnings, const JpegLimits& limits)
{
    if (size == 0)
        Fail(name, "the file is empty");
    if (size < 2 || data[0] != 0xff || data[1] != 0xd8)
        Fail(name, "not a JPEG file (no JPEG start marker)");

    Decoder d;
    d.cinfo.err = jpeg_std_error(&d.err.pub);
    d.err.pub.error_exit = ErrorExit;
    d.err.pub.emit_message = EmitMessage;
    d.err.message[0] = '\0';
    d.err.firstWarning[0] = '\0';
    d.progress.pub.progress_monitor = CheckScanCount;
    d.progress.maxScans = limits.maxScans;

    Header h;
    bool ok = Protected(d, [&] {
        jpeg_create_decompress(&d.cinfo);
        d.cinfo.mem->max_memory_to_use = long(std::min<size_t>(limits.maxDecoderBytes, LONG_MAX));
        d.cinfo.progress = &d.progress.pub;
        jpeg_mem_src(&d.cinfo, data, static_cast<unsigned long>(size));
        jpeg_save_markers(&d.cinfo, JPEG_APP0 + 1, 0xffff);
        jpeg_read_header(&d.cinfo, TRUE);
    });
    if (!ok)
        FailDecoding(name, d);

    jpeg_decompress_struct& c = d.cinfo;
    if (c.data_precision != 8)
        Fail(name, std::to_string(c.data_precision) + "-bit samples are not supported");
    // The largest JPEG is 65535 x 65535, so this product cannot overflow.
    uint64_t pixels = uint64_t(c.image_width) * c.image_height;
    if (pixels > limits.maxPixels)
        Fail(name, "the picture is too large (" + std::to_string(c.image_width) + " x "
                       + std::to_string(c.image_height) + " pixels)");
    h.width = int32_t(c.image_width);
    h.height = int32_t(c.image_height);
    h.cmyk = c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK;
    h.adobe = c.saw_Adobe_marker;
    c.out_color_space = h.cmyk ? JCS_CMYK : kPixelColorSpace;
    c.dct_method = JDCT_ISLOW;
    // Cameras store pictures as the sensor saw them and record how to stand
    // them upright. Read now: the saved markers go with the decode's end.
    const Orientation orientation = SavedExifOrientation(c);

    ok = Protected(d, [&] { jpeg_start_decompress(&d.cinfo); });
    if (!ok)
        FailDecoding(name, d);
    if (c.output_width != c.image_width || c.output_height != c.image_height
        || c.output_components != 4)
        Fail(name, "unexpected decoder output layout");

    Bitmap bitmap;
    try {
        bitmap = Bitmap::Unfilled(h.width, h.height); // every row is decoded into
    } catch (const std::bad_alloc&) {
        Fail(name, "not enough memory for " + std::to_string(h.width) + " x "
                       + std::to_string(h.height) + " pixels");
    } catch (const std::length_error&) {
        Fail(name, "not enough memory for " + std::to_string(h.width) + " x "
                       + std::to_string(h.height) + " pixels");
    }

    // Rows go straight into the bitmap, several at a time.
    Pixel* bits = bitmap.bits();
    const size_t stride = size_t(h.width);
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
        FailDecoding(name, d);

    if (h.cmyk)
        ConvertCmykRows(bitmap, h.adobe);
    try {
        bitmap = Oriented(std::move(bitmap), orientation);
    } catch (const std::bad_alloc&) {
        Fail(name, "not enough memory to turn the picture upright");
    }
    if (warnings) {
        warnings->count = d.err.pub.num_warnings;
        warnings->first = d.err.firstWarning;
    }
    return bitmap;
}

Bitmap LoadJpegFile(const std::string& path, JpegWarnings* warnings, const JpegLimits& limits)
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
            // The size is a first guess only: the file may change while it is read.
            size_t used = 0;
            bytes.resize(size_t(st.st_size) + 1);
            for (;;) {
                if (used == bytes.size()) {
                    if (used > limits.maxFileBytes) {
                        problem = "the file is too large (more than "
                            + std::to_string(limits.maxFileBytes) + " bytes)";
                        break;
                    }
                    bytes.resize(std::min(bytes.size() * 2, limits.maxFileBytes + 1));
                }
                ssize_t n = ::read(fd, bytes.data() + used, bytes.size() - used);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0)
                    problem = std::strerror(errno);
                if (n <= 0)
                    break;
                used += size_t(n);
            }
            bytes.resize(used);
        } catch (const std::bad_alloc&) {
            problem = std::strerror(ENOMEM);
        } catch (const std::length_error&) {
            problem = std::strerror(ENOMEM);
        }
    }
    ::close(fd);
    if (!problem.empty())
        Fail(path, problem);
    return LoadJpegMemory(bytes.data(), bytes.size(), path, warnings, limits);
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

Bitmap LoadPictureFile(const std::string& path)
{
    if (!IsJpegFileName(path))
        Fail(path, "not a picture type that can be shown (only .jpg and .jpeg)");
    return LoadJpegFile(path);
}

Bitmap LoadPictureRendition(const std::string& path, int32_t width, int32_t height, const CancelFlag* cancel)
{
    // A plain stretch of the full decode until the resampling decoder comes.
    Bitmap full = LoadPictureFile(path);
    if (cancel && cancel->load(std::memory_order_relaxed))
        throw PictureCancelled();
    if (width <= 0 || height <= 0 || (full.width() == width && full.height() == height))
        return full;
    Bitmap shown = Bitmap::Unfilled(width, height);
    StretchCopy(shown, shown.rect(), full, full.rect());
    return shown;
}

}
