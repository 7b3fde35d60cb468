// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a photo made to be hard on a resize (support/HardPhoto.h) as a PPM
// file on standard output, for cjpeg to encode: the on-screen test's photo
// that no tuning has seen, made at test time instead of kept in the tree.
//
//   hard_photo W H SEED > photo.ppm
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/HardPhoto.h"

int main(int argc, char** argv)
{
    const int width = argc == 4 ? std::atoi(argv[1]) : 0, height = argc == 4 ? std::atoi(argv[2]) : 0;
    if (width <= 0 || height <= 0 || width > 20000 || height > 20000) {
        std::fprintf(stderr, "usage: %s W H SEED (sides 1 to 20000)\n", argv[0]);
        return 2;
    }
    const std::string ppm = kalvio::test::HardPhotoPpm(width, height, std::strtoull(argv[3], nullptr, 10));
    return std::fwrite(ppm.data(), 1, ppm.size(), stdout) == ppm.size() ? 0 : 1;
}
