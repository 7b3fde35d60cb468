// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the Exif orientation of real photos: our reader beside Debian's
// libexif (when built with it), on the same APP1 payload, taken from the file
// once. The loader pays this once per picture, beside a decode of tens of
// milliseconds (BM_Decode).
#include "platform/picture/ExifOrientation.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>

#ifdef KALVIO_HAVE_LIBEXIF
#include <libexif/exif-data.h>
#endif

namespace {

using namespace kalvio;
namespace fs = std::filesystem;

const char* const kPhotoDir = KALVIO_PHOTO_DIR;

// Exif blocks of a few kilobytes (camera and phone photos with maker notes
// and thumbnails) and of a hundred bytes (an orientation example).
const char* const kPhotos[] = {
    "ianare_phone_4032x3024.jpg",
    "ianare_canon_hdr_NO_orient6.jpg",
    "ianare_iphone_hdr_NO.jpg",
    "exif-orientation/Portrait_6.jpg",
};

// The payload of the file's first Exif APP1 marker, empty when it has none.
std::vector<uint8_t> ExifPayload(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> file { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
    std::vector<uint8_t> payload;
    if (file.empty())
        return payload;
    jpeg_decompress_struct cinfo {};
    jpeg_error_mgr err {};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xffff);
    jpeg_read_header(&cinfo, TRUE); // the photos are sound: libjpeg's exit on error is fine here
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m && payload.empty(); m = m->next)
        if (IsExifPayload(m->data, m->data_length))
            payload.assign(m->data, m->data + m->data_length);
    jpeg_destroy_decompress(&cinfo);
    return payload;
}

void Own(benchmark::State& state, const std::vector<uint8_t>& payload)
{
    Orientation o {};
    for (auto _ : state) {
        o = ReadExifOrientation(payload.data(), payload.size());
        benchmark::DoNotOptimize(o);
    }
    state.counters["orientation"] = double(o);
    state.counters["exif_bytes"] = double(payload.size());
}

#ifdef KALVIO_HAVE_LIBEXIF
// As an application would use it: parse the block, look the tag up in the
// first directory, read it in the block's byte order.
void LibExif(benchmark::State& state, const std::vector<uint8_t>& payload)
{
    int o = 0;
    for (auto _ : state) {
        ExifData* data = exif_data_new_from_data(payload.data(), unsigned(payload.size()));
        o = 1;
        if (data) {
            if (ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION))
                if (entry->format == EXIF_FORMAT_SHORT && entry->components == 1)
                    o = exif_get_short(entry->data, exif_data_get_byte_order(data));
            exif_data_unref(data);
        }
        benchmark::DoNotOptimize(o);
    }
    state.counters["orientation"] = double(o);
    state.counters["exif_bytes"] = double(payload.size());
}
#endif

const int kRegistered = [] {
    for (const char* photo : kPhotos) {
        const std::string path = std::string(kPhotoDir) + "/" + photo;
        const std::string name = fs::path(photo).filename().string();
        auto* payload = new std::vector<uint8_t>(ExifPayload(path)); // kept for the whole run
        if (payload->empty()) {
            benchmark::RegisterBenchmark(("BM_ExifOrientation/file:" + name).c_str(), [](benchmark::State& state) {
                state.SkipWithError("the photo or its Exif block is missing");
                for (auto _ : state) { }
            });
            continue;
        }
        benchmark::RegisterBenchmark(("BM_ExifOrientation/file:" + name).c_str(), Own, *payload)
            ->Unit(benchmark::kMicrosecond);
#ifdef KALVIO_HAVE_LIBEXIF
        benchmark::RegisterBenchmark(("BM_LibExifOrientation/file:" + name).c_str(), LibExif, *payload)
            ->Unit(benchmark::kMicrosecond);
#endif
    }
    return 0;
}();

}
