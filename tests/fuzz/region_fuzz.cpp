// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: regions, their combinations and the bulk builder against a
// per-pixel model, and single transition frames of any style, progress, step
// and size. A wrong result aborts with its description; AddressSanitizer
// reports any access outside a bitmap or region.
#include "fuzz/region_fuzz_check.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        kalvio::fuzz::CheckRegionInput(data, size);
    } catch (const kalvio::fuzz::FuzzFailure& e) {
        std::fprintf(stderr, "region fuzz failure: %s\n", e.what());
        std::abort();
    }
    return 0;
}
