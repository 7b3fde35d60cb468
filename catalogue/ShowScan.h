// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/InOutError.h"

// The two scans Play makes, the picture folder's and then the music folder's,
// as one call that another thread can run while the settings window paints.
namespace kalvio {

// Shared between the scanning thread and the window that waits for it.
struct ScanProgress {
    // Files that passed the picture filter so far.
    std::atomic<size_t> picturesFound { 0 };
    // Set to abandon the scan: it then ends as soon as it notices, and its
    // result means nothing.
    std::atomic<bool> cancel { false };
};

// Each list exactly as its own scan leaves it, and the error that ended that
// scan. A failed picture scan ends Play before the music folder is scanned,
// so then `music` is empty and `musicError` unset; so too without a music
// folder.
struct ShowScanResult {
    std::vector<std::string> pictures;
    std::optional<InOutError> pictureError;
    std::vector<std::string> music;
    std::optional<InOutError> musicError;
};

// ScanPictureFolder(pictureFolder) and then, when given, ScanMusicFolder(
// musicFolder): the same lists, in the same order, with the same errors.
ShowScanResult ScanShowFolders(const std::string& pictureFolder, const std::optional<std::string>& musicFolder,
                               ScanProgress* progress = nullptr);

// ScanMusicFolder(musicFolder) alone, with a read-ahead of its own, for a
// caller that runs it beside the picture scan: only `music` and `musicError`
// are set.
ShowScanResult ScanMusicShowFolder(const std::string& musicFolder, ScanProgress* progress = nullptr);

}
