// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>

namespace kalvio::test {

// A mono 16-bit PCM WAV file's bytes: `ms` milliseconds of a quiet tone at
// `rate` samples a second.
inline std::string ToneWav(int ms, int rate = 8000) {
    const uint32_t samples = uint32_t(int64_t(rate) * ms / 1000);
    const uint32_t dataBytes = samples * 2;
    std::string b;
    auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) b.push_back(char(uint8_t(v >> (8 * i)))); };
    auto u16 = [&](uint16_t v) { b.push_back(char(uint8_t(v))); b.push_back(char(uint8_t(v >> 8))); };
    auto tag = [&](const char* t) { b.append(t, 4); };
    tag("RIFF"); u32(36 + dataBytes); tag("WAVE");
    tag("fmt "); u32(16); u16(1); u16(1); u32(uint32_t(rate)); u32(uint32_t(rate) * 2); u16(2); u16(16);
    tag("data"); u32(dataBytes);
    for (uint32_t i = 0; i < samples; ++i)
        u16(uint16_t(int16_t(2000 * std::sin(2 * M_PI * 440 * i / rate))));
    return b;
}

// Writes ToneWav(ms, rate) to `path`. Returns false when the file cannot be
// written.
inline bool WriteToneWav(const std::string& path, int ms, int rate = 8000) {
    const std::string b = ToneWav(ms, rate);
    std::ofstream out(path, std::ios::binary);
    out.write(b.data(), std::streamsize(b.size()));
    return bool(out);
}

}
