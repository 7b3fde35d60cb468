// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace kalvio::preview {

// What the command line asks for: one frame (--out) or the sheet of all styles (--sheet).
struct PreviewOptions {
    std::string oldPath;
    std::string newPath;
    std::string outPath; // the PNG to write, from --out or --sheet
    bool sheet = false;
    int style = 0;
    int progress = 0;
    int step = 4;
    std::optional<uint64_t> seed;
};

// The options, or one line saying what is wrong with the arguments.
std::variant<PreviewOptions, std::string> ParsePreviewOptions(const std::vector<std::string>& args);

extern const char* const kPreviewUsage;

}
