// SPDX-License-Identifier: GPL-3.0-or-later
// Picture-sized bitmaps give their memory back to the system as soon as they
// go, whichever thread made them: a show makes one on its decode worker for
// every picture and frees it on the GUI thread.
#include "platform/graphics/Bitmap.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <thread>

#include <sys/mman.h>
#include <unistd.h>

using namespace kalvio;

namespace {

// True while the page holding `p` is mapped into the process.
bool Mapped(const void* p)
{
    const uintptr_t page = reinterpret_cast<uintptr_t>(p) & ~uintptr_t(sysconf(_SC_PAGESIZE) - 1);
    unsigned char resident = 0;
    return mincore(reinterpret_cast<void*>(page), 1, &resident) == 0 || errno != ENOMEM;
}

}

TEST(Bitmap, PictureSizedPixelsGoBackToTheSystemWhenFreed)
{
    struct Case {
        int32_t width, height;
        size_t alignment;
    };
    const Case cases[] = {
        // The same size twice: the system allocator maps the first block of
        // a size on its own, but keeps later ones in its arenas.
        { 1920, 1080, 64 },              // a screen: 8 MB
        { 1920, 1080, 64 },
        { 600, 500, 64 },                // just over a megabyte
        { 3840, 2160, size_t(2) << 20 }, // on huge pages: 33 MB
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        Bitmap made;
        std::thread([&] { made = Bitmap(c.width, c.height, RGB(1, 2, 3)); }).join();
        ASSERT_EQ(made.width(), c.width);
        const Pixel* first = made.bits();
        const Pixel* last = made.row(c.height - 1) + c.width - 1;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(first) % c.alignment, 0u);
        EXPECT_EQ(*last, RGB(1, 2, 3));

        Bitmap copy = made;  // copies are mapped on their own too
        EXPECT_TRUE(copy == made);
        made.clear();
        EXPECT_FALSE(Mapped(first));
        EXPECT_FALSE(Mapped(last));
        const Pixel* copied = copy.bits();
        copy = Bitmap();
        EXPECT_FALSE(Mapped(copied));
    }
}
