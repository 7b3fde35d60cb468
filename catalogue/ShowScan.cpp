// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/ShowScan.h"

#include "catalogue/FolderScan.h"

namespace kalvio {

ShowScanResult ScanShowFolders(const std::string& pictureFolder, const std::string& musicFolder,
                               ScanProgress* progress)
{
    ShowScanResult result;
    try {
        ScanPictureFolder(pictureFolder, result.pictures);
    } catch (const InOutError& error) {
        result.pictureError = error;
    }
    if (progress)
        progress->picturesFound = result.pictures.size();
    if (result.pictureError)
        return result;
    try {
        ScanMusicFolder(musicFolder, result.music);
    } catch (const InOutError& error) {
        result.musicError = error;
    }
    return result;
}

}
