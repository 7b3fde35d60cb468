// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: any bytes as an APP1 payload through the Exif orientation
// reader alone, which reaches deeper into its checks than whole JPEG files
// do. The address sanitizer reports any read outside the input.
#include "platform/picture/ExifOrientation.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const int value = int(kalvio::ReadExifOrientation(data, size));
    if (value < 1 || value > 8)
        __builtin_trap();
    return 0;
}
