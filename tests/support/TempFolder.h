// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/WavWriter.h"

namespace kalvio::test {

// A folder of this test process under the system temp folder, made at
// construction and removed with everything in it at destruction.
class TempFolder {
public:
    explicit TempFolder(const std::string& prefix)
        : path_(std::filesystem::temp_directory_path() / (prefix + "-" + std::to_string(getpid())))
    {
        std::filesystem::create_directories(path_);
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Path of `name` in the folder.
    std::string File(const std::string& name) const { return (path_ / name).string(); }

    // Writes a tone of `ms` milliseconds to `name` in the folder; returns its path.
    std::string Tone(const std::string& name, int ms) const
    {
        const std::string path = File(name);
        EXPECT_TRUE(WriteToneWav(path, ms));
        return path;
    }

private:
    std::filesystem::path path_;
};

}
