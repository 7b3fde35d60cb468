// SPDX-License-Identifier: GPL-3.0-or-later
// Replays the regression corpus of the region and composition fuzzer: every
// file must pass the same checks as under the fuzzer.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/region_fuzz_check.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

}

TEST(RegionCorpus, EveryInputPassesTheFuzzChecks)
{
    const fs::path dir = fs::path(KALVIO_TEST_DATA) / "region-corpus";
    ASSERT_TRUE(fs::is_directory(dir)) << dir;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    ASSERT_GT(files.size(), 20u) << "the corpus is missing";
    for (const fs::path& file : files) {
        const std::vector<uint8_t> bytes = ReadAll(file);
        try {
            kalvio::fuzz::CheckRegionInput(bytes.data(), bytes.size());
        } catch (const kalvio::fuzz::FuzzFailure& e) {
            ADD_FAILURE() << file.filename() << ": " << e.what();
        }
    }
}
