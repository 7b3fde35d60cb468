// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/ShowScan.h"

#include "catalogue/FolderScan.h"
#include "catalogue/PathParts.h"
#include "catalogue/ReadAhead.h"

namespace kalvio {

namespace {

// Folder reads in flight at once. On a share each costs a round trip, so
// many more threads than processors pay (measured: 32 walk a share with 1 ms
// calls in half the time of 16); on a local disk they cost little.
constexpr unsigned kReadThreads = 32;

// The music folder's walk into result.music, its error into musicError.
void ScanMusicAhead(const std::string& musicFolder, ShowScanResult& result, ReadAhead& ahead, size_t startIndex,
                    const ScanWatch& watch)
{
    try {
        ScanFolderAhead(musicFolder, MusicFilter, result.music, ahead, startIndex, watch);
    } catch (const InOutError& error) {
        result.musicError = error;
    }
}

ScanWatch WatchOf(ScanProgress* progress)
{
    ScanWatch watch;
    if (progress) {
        watch.cancel = &progress->cancel;
        watch.found = &progress->picturesFound;
    }
    return watch;
}

}

ShowScanResult ScanShowFolders(const std::string& pictureFolder, const std::optional<std::string>& musicFolder,
                               ScanProgress* progress)
{
    // One read-ahead serves both scans: a folder met by both is read once.
    std::vector<std::string> starts{ScanStartPath(pictureFolder)};
    const std::string musicStart = musicFolder ? ScanStartPath(*musicFolder) : std::string();
    const size_t musicIndex = !musicFolder || musicStart == starts[0] ? 0 : 1;
    if (musicIndex == 1)
        starts.push_back(musicStart);
    // The same start and the same folder text: the music scan would walk
    // exactly as the picture scan, so one walk fills both lists.
    const bool sameWalk = musicFolder && musicIndex == 0
        && DropOneTrailingSeparator(*musicFolder) == DropOneTrailingSeparator(pictureFolder);
    ReadAhead ahead =
        ReadAhead::Launch(std::move(starts), kReadThreads, sameWalk ? AfterUse::Drop : AfterUse::Keep);

    ShowScanResult result;
    ScanWatch watch = WatchOf(progress);
    SecondList music{MusicFilter, result.music, std::nullopt};
    try {
        try {
            ScanFolderAhead(pictureFolder, PictureFilter, result.pictures, ahead, 0, watch,
                            sameWalk ? &music : nullptr);
        } catch (const InOutError& error) {
            result.pictureError = error;
        }
        if (progress)
            progress->picturesFound = result.pictures.size();
        if (result.pictureError) {
            result.music.clear();
            return result;
        }
        if (sameWalk) {
            result.musicError = music.error;
            return result;
        }
        if (!musicFolder)
            return result;
        watch.found = nullptr;
        ScanMusicAhead(*musicFolder, result, ahead, musicIndex, watch);
    } catch (const ScanCancelled&) {
        // The caller asked to stop; it makes nothing of the lists.
    }
    return result;
}

ShowScanResult ScanMusicShowFolder(const std::string& musicFolder, ScanProgress* progress)
{
    ReadAhead ahead = ReadAhead::Launch({ ScanStartPath(musicFolder) }, kReadThreads, AfterUse::Drop);
    ShowScanResult result;
    ScanWatch watch = WatchOf(progress);
    watch.found = nullptr; // the count is of pictures
    try {
        ScanMusicAhead(musicFolder, result, ahead, 0, watch);
    } catch (const ScanCancelled&) {
        // As above.
    }
    return result;
}

}
