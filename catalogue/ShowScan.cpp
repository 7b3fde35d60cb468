// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/ShowScan.h"

#include "catalogue/FolderScan.h"
#include "catalogue/ReadAhead.h"

namespace kalvio {

namespace {

// Folder reads in flight at once. On a share each costs a round trip, so
// more threads than processors pay; on a local disk they cost little.
constexpr unsigned kReadThreads = 16;

}

ShowScanResult ScanShowFolders(const std::string& pictureFolder, const std::string& musicFolder,
                               ScanProgress* progress)
{
    // One read-ahead serves both scans: a folder met by both is read once.
    std::vector<std::string> starts{ScanStartPath(pictureFolder)};
    const std::string musicStart = ScanStartPath(musicFolder);
    const size_t musicIndex = musicStart == starts[0] ? 0 : 1;
    if (musicIndex == 1)
        starts.push_back(musicStart);
    ReadAhead ahead = ReadAhead::Launch(std::move(starts), kReadThreads);

    ShowScanResult result;
    ScanWatch watch;
    if (progress) {
        watch.cancel = &progress->cancel;
        watch.found = &progress->picturesFound;
    }
    try {
        try {
            ScanFolderAhead(pictureFolder, PictureFilter, result.pictures, ahead, 0, watch);
        } catch (const InOutError& error) {
            result.pictureError = error;
        }
        if (progress)
            progress->picturesFound = result.pictures.size();
        if (result.pictureError)
            return result;
        watch.found = nullptr;
        try {
            ScanFolderAhead(musicFolder, MusicFilter, result.music, ahead, musicIndex, watch);
        } catch (const InOutError& error) {
            result.musicError = error;
        }
    } catch (const ScanCancelled&) {
        // The caller asked to stop; it makes nothing of the lists.
    }
    return result;
}

}
