// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/picture/JpegDecoder.h"

#include "platform/picture/Orient.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include <jerror.h>

namespace kalvio::jpeg {

namespace {

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

// Ends the decode from inside libjpeg with a message of ours. Nothing with a
// destructor may be alive here: the jump skips it.
[[noreturn]] void Stop(j_common_ptr cinfo, const char* what, unsigned long long limit)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::snprintf(err->message, sizeof err->message, what, limit);
    std::longjmp(err->jump, 1);
}

// The blocks one scan walks: every block of each of its components.
uint64_t BlocksOfScan(const jpeg_decompress_struct& c)
{
    if (c.comps_in_scan == 1)
        return uint64_t(c.cur_comp_info[0]->width_in_blocks) * c.cur_comp_info[0]->height_in_blocks;
    return uint64_t(c.MCUs_per_row) * c.MCU_rows_in_scan * uint64_t(std::max(c.blocks_in_MCU, 1));
}

void Monitor(j_common_ptr cinfo)
{
    auto* monitor = reinterpret_cast<ProgressMonitor*>(cinfo->progress);
    if (monitor->cancel && monitor->cancel->load(std::memory_order_relaxed)) {
        reinterpret_cast<ErrorManager*>(cinfo->err)->cancelled = true;
        Stop(cinfo, "decoding cancelled", 0);
    }
    if (cinfo->is_decompressor == FALSE)
        return;
    auto* c = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (c->input_scan_number > monitor->maxScans)
        Stop(cinfo, "too many scans (more than %llu)", (unsigned long long)monitor->maxScans);
    // A scan is counted once, as soon as it has started.
    if (c->input_scan_number != monitor->countedScan && c->comps_in_scan > 0) {
        monitor->countedScan = c->input_scan_number;
        monitor->blockScans += BlocksOfScan(*c);
        if (monitor->blockScans > monitor->maxBlockScans)
            Stop(cinfo, "too much decoding work (more than %llu blocks over all scans)",
                 (unsigned long long)monitor->maxBlockScans);
    }
}

MemoryAccount& Account(j_common_ptr cinfo)
{
    return reinterpret_cast<Decoder*>(cinfo->client_data)->memory;
}

// Adds a request to the account; over the limit the decode fails as out of
// memory, before anything is allocated.
void Charge(j_common_ptr cinfo, size_t bytes)
{
    MemoryAccount& a = Account(cinfo);
    if (bytes > a.limit || a.bytes > a.limit - bytes) {
        cinfo->err->msg_code = JERR_OUT_OF_MEMORY;
        cinfo->err->msg_parm.i[0] = 0;
        (*cinfo->err->error_exit)(cinfo);
    }
    a.bytes += bytes;
}

void* AllocSmall(j_common_ptr cinfo, int pool, size_t size)
{
    Charge(cinfo, size);
    return Account(cinfo).allocSmall(cinfo, pool, size);
}

void* AllocLarge(j_common_ptr cinfo, int pool, size_t size)
{
    Charge(cinfo, size);
    return Account(cinfo).allocLarge(cinfo, pool, size);
}

size_t ArrayBytes(JDIMENSION perRow, size_t unit, JDIMENSION rows)
{
    return (size_t(perRow) * unit + sizeof(void*)) * size_t(rows);
}

JSAMPARRAY AllocSarray(j_common_ptr cinfo, int pool, JDIMENSION samples, JDIMENSION rows)
{
    Charge(cinfo, ArrayBytes(samples, sizeof(JSAMPLE), rows));
    return Account(cinfo).allocSarray(cinfo, pool, samples, rows);
}

JBLOCKARRAY AllocBarray(j_common_ptr cinfo, int pool, JDIMENSION blocks, JDIMENSION rows)
{
    Charge(cinfo, ArrayBytes(blocks, sizeof(JBLOCK), rows));
    return Account(cinfo).allocBarray(cinfo, pool, blocks, rows);
}

// Whole-picture arrays (the coefficients of a progressive file) are charged
// when requested; libjpeg allocates them later, all at once.
jvirt_sarray_ptr RequestSarray(j_common_ptr cinfo, int pool, boolean zero, JDIMENSION samples,
                               JDIMENSION rows, JDIMENSION maxAccess)
{
    Charge(cinfo, ArrayBytes(samples, sizeof(JSAMPLE), rows));
    return Account(cinfo).requestSarray(cinfo, pool, zero, samples, rows, maxAccess);
}

jvirt_barray_ptr RequestBarray(j_common_ptr cinfo, int pool, boolean zero, JDIMENSION blocks,
                               JDIMENSION rows, JDIMENSION maxAccess)
{
    Charge(cinfo, ArrayBytes(blocks, sizeof(JBLOCK), rows));
    return Account(cinfo).requestBarray(cinfo, pool, zero, blocks, rows, maxAccess);
}

void WrapMemoryManager(Decoder& d, size_t limit)
{
    jpeg_memory_mgr& mem = *d.cinfo.mem;
    d.memory = { mem.alloc_small, mem.alloc_large, mem.alloc_sarray, mem.alloc_barray,
                 mem.request_virt_sarray, mem.request_virt_barray, 0, limit };
    d.cinfo.client_data = &d;
    mem.alloc_small = AllocSmall;
    mem.alloc_large = AllocLarge;
    mem.alloc_sarray = AllocSarray;
    mem.alloc_barray = AllocBarray;
    mem.request_virt_sarray = RequestSarray;
    mem.request_virt_barray = RequestBarray;
    mem.max_memory_to_use = long(std::min<size_t>(limit, LONG_MAX));
}

}

void Fail(const std::string& name, const std::string& cause)
{
    throw PictureLoadError(name, cause);
}

void FailPixels(const std::string& name, int32_t width, int32_t height)
{
    Fail(name, "not enough memory for " + std::to_string(width) + " x " + std::to_string(height) + " pixels");
}

// Running out of the memory we allow shows up as a request for backing store
// (which this build has none of) or as our own refusal.
void FailDecoding(const std::string& name, const Decoder& d, JpegCost* cost)
{
    Report(d, nullptr, cost);
    if (d.err.cancelled)
        throw PictureCancelled();
    int code = d.err.pub.msg_code;
    if (code == JERR_NO_BACKING_STORE || code == JERR_OUT_OF_MEMORY)
        Fail(name, "not enough memory to decode the picture ("
                       + std::to_string(d.cinfo.image_width) + " x "
                       + std::to_string(d.cinfo.image_height) + " pixels)");
    Fail(name, d.err.message);
}

void OpenDecoder(Decoder& d, const uint8_t* data, size_t size, const std::string& name,
                 const JpegLimits& limits, const CancelFlag* cancel)
{
    if (size == 0)
        Fail(name, "the file is empty");
    if (size < 2 || data[0] != 0xff || data[1] != 0xd8)
        Fail(name, "not a JPEG file (no JPEG start marker)");

    d.cinfo.err = jpeg_std_error(&d.err.pub);
    d.err.pub.error_exit = ErrorExit;
    d.err.pub.emit_message = EmitMessage;
    d.progress.pub.progress_monitor = Monitor;
    d.progress.maxScans = limits.maxScans;
    d.progress.maxBlockScans = limits.maxBlockScans;
    d.progress.cancel = cancel;

    bool ok = Protected(d, [&] {
        jpeg_create_decompress(&d.cinfo);
        WrapMemoryManager(d, limits.maxDecoderBytes);
        d.cinfo.progress = &d.progress.pub;
        jpeg_mem_src(&d.cinfo, data, static_cast<unsigned long>(size));
        jpeg_save_markers(&d.cinfo, JPEG_APP0 + 1, 0xffff);
        jpeg_read_header(&d.cinfo, TRUE);
    });
    if (!ok)
        FailDecoding(name, d);

    const jpeg_decompress_struct& c = d.cinfo;
    if (c.data_precision != 8)
        Fail(name, std::to_string(c.data_precision) + "-bit samples are not supported");
    // The largest JPEG is 65535 x 65535, so this product cannot overflow.
    uint64_t pixels = uint64_t(c.image_width) * c.image_height;
    if (pixels > limits.maxPixels)
        Fail(name, "the picture is too large (" + std::to_string(c.image_width) + " x "
                       + std::to_string(c.image_height) + " pixels)");
    d.cinfo.dct_method = JDCT_ISLOW;
    // Cameras store pictures as the sensor saw them and record how to stand
    // them upright.
    for (jpeg_saved_marker_ptr m = c.marker_list; m; m = m->next)
        if (m->marker == JPEG_APP0 + 1 && IsExifPayload(m->data, m->data_length)) {
            d.orientation = ReadExifOrientation(m->data, m->data_length);
            break;
        }
}

Bitmap Upright(Bitmap picture, Orientation orientation, const std::string& name)
{
    try {
        return Oriented(std::move(picture), orientation);
    } catch (const std::bad_alloc&) {
        Fail(name, "not enough memory to turn the picture upright");
    }
}

void Report(const Decoder& d, JpegWarnings* warnings, JpegCost* cost)
{
    if (warnings) {
        warnings->count = d.err.pub.num_warnings;
        warnings->first = d.err.firstWarning;
    }
    if (cost) {
        cost->decoderBytes = d.memory.bytes;
        cost->blockScans = d.progress.blockScans;
    }
}

}
