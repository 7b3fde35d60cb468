// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A made-up photo with as much fine detail as a camera can record, for
// measuring what a resize loses on pictures nobody tuned it on. Tiles of
// sensor noise, woven fabric, foliage, small text, fine stripes in three
// directions and a zone plate of rising frequency lie over a smooth, colourful
// scene that is itself noisy everywhere. The same size and seed always give
// the same pixels.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace kalvio::test {

class HardPhotoNoise {
public:
    explicit HardPhotoNoise(uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ull + 1) { }
    uint32_t next()
    {
        // splitmix64: cheap, and good enough that no pattern shows.
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return uint32_t((z ^ (z >> 31)) >> 32);
    }
    // Roughly normal, mean 0 and deviation 1 (sum of four uniforms).
    double normal()
    {
        double s = 0;
        for (int i = 0; i < 4; ++i)
            s += (next() & 0xffff) / 65535.0;
        return (s - 2) * 1.7320508;
    }

private:
    uint64_t m_state;
};

// width x height pixels, three bytes (R, G, B) each, rows top to bottom.
inline std::vector<uint8_t> HardPhoto(int32_t width, int32_t height, uint64_t seed = 1)
{
    constexpr double kPi = 3.14159265358979323846;
    constexpr int32_t kTile = 384;
    std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
    HardPhotoNoise noise(seed);
    // Foliage: a coarse field of random leaf tones, refined at 1, 2 and 4 pixels.
    const int32_t gw = width / 4 + 2;
    std::vector<float> coarse(size_t(gw) * size_t(height / 4 + 2));
    for (float& v : coarse)
        v = float(noise.next() & 0xff) / 255.0f;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = rgb.data() + size_t(y) * size_t(width) * 3;
        for (int32_t x = 0; x < width; ++x) {
            // The scene: slow colour waves.
            double r = 128 + 90 * std::sin(x * 0.0021 + y * 0.0013);
            double g = 128 + 90 * std::sin(x * 0.0017 - y * 0.0023 + 1.3);
            double b = 128 + 90 * std::sin(-x * 0.0011 + y * 0.0019 + 2.6);
            const int32_t ty = y / kTile;
            const int32_t kind = (3 * ty) % 7; // a band of tiles of each kind
            const int32_t lx = x % kTile, ly = y % kTile;
            double luma = 0, detail = 1;
            switch (kind) {
            case 0: // sensor noise, strong in the chroma too
                r += 24 * noise.normal();
                g += 24 * noise.normal();
                b += 24 * noise.normal();
                break;
            case 1: { // fabric: two crossed threads of 2.5 and 3 pixels
                const double warp = std::sin(2 * kPi * x / 2.5), weft = std::sin(2 * kPi * y / 3.0);
                luma = 70 * (warp > 0 ? 1 : -1) * (weft > 0 ? 0.8 : 0.4) + 25 * warp * weft;
                b += 40 * weft;
                break;
            }
            case 2: { // foliage
                const float c = coarse[size_t(y / 4) * size_t(gw) + size_t(x / 4)];
                const double fine = (noise.next() & 0xff) / 255.0 - 0.5;
                luma = 150 * (c - 0.5) + 90 * fine;
                g += 60 * c;
                r -= 40 * c;
                break;
            }
            case 3: { // text: strokes one or two pixels wide in 7 x 11 cells, dark on light
                const uint32_t cell = uint32_t(x / 7) * 2654435761u ^ uint32_t(y / 11) * 40503u ^ uint32_t(seed);
                const int32_t cx = x % 7, cy = y % 11;
                const bool stroke = ((cell >> (cx + 3 * (cy % 3))) & 1) && cx < 5 && cy > 1 && cy < 10;
                r = g = b = stroke ? 20 : 235;
                detail = 0.3;
                break;
            }
            case 4: // stripes of 2, 3 and 4 pixels across the tile, upright
                luma = 100 * std::sin(2 * kPi * x / (2.0 + (ly / 128)));
                break;
            case 5: // the same lying down, in colour
                r += 100 * std::sin(2 * kPi * y / (2.0 + (lx / 128)));
                g -= 100 * std::sin(2 * kPi * y / (2.0 + (lx / 128)));
                break;
            default: { // zone plate: frequency rising to the pixel limit at the tile's corner
                const double dx = lx - kTile / 2.0, dy = ly - kTile / 2.0;
                luma = 110 * std::cos(kPi * (dx * dx + dy * dy) / kTile);
                break;
            }
            }
            // A little sensor noise everywhere.
            const double grain = 6 * noise.normal() * detail;
            row[3 * x] = uint8_t(std::clamp(r + luma + grain, 0.0, 255.0) + 0.5);
            row[3 * x + 1] = uint8_t(std::clamp(g + luma + grain, 0.0, 255.0) + 0.5);
            row[3 * x + 2] = uint8_t(std::clamp(b + luma + grain, 0.0, 255.0) + 0.5);
        }
    }
    return rgb;
}

// The same as a binary PPM file's bytes.
inline std::string HardPhotoPpm(int32_t width, int32_t height, uint64_t seed = 1)
{
    const std::vector<uint8_t> rgb = HardPhoto(width, height, seed);
    std::string ppm = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    ppm.append(reinterpret_cast<const char*>(rgb.data()), rgb.size());
    return ppm;
}

}
