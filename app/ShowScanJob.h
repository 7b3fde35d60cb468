// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "app/PlaySequence.h"
#include "catalogue/ShowScan.h"

namespace kalvio {

// Play's folder scans on threads of their own, so that the settings window
// paints and answers while a share takes its time (or never answers). The
// result comes back through the event loop (finished); dropping the job
// cancels the scans and waits for nothing: a scan stuck in a call on a dead
// share is left to end by itself, or with the process.
//
// With music awaited, or both folders given as one, both are scanned by one
// call, which reads a folder met by both once. Otherwise the music folder is scanned beside the
// pictures, and once the pictures are found it is given `musicLimit` more to
// end; past that the job ends with an empty music list and the music scan is
// cancelled. Empty rather than the tracks found so far: nothing reads the
// list with music off, and a part of it, cut wherever the share stopped,
// would mean nothing anyway.
class ShowScanJob : public QObject {
    Q_OBJECT
public:
    using Scan = std::function<ShowScanResult(const std::string& pictureFolder,
                                              const std::optional<std::string>& musicFolder, ScanProgress* progress)>;
    using MusicScan = std::function<ShowScanResult(const std::string& musicFolder, ScanProgress* progress)>;

    // Starts the scans of `folders`; throws std::system_error when no thread
    // can be started.
    ShowScanJob(Scan scan, MusicScan scanMusic, ShowFolders folders, std::chrono::milliseconds musicLimit);
    ~ShowScanJob() override;

    const ShowFolders& Folders() const { return folders_; }
    // Pictures found so far.
    size_t PicturesFound() const;
    // The scans' result once finished was emitted; rethrows what else a
    // scan threw.
    ShowScanResult TakeResult();

signals:
    void finished();

private:
    struct Shared;
    struct MusicShared;
    void Collect();
    void CancelMusic();

    ShowFolders folders_;
    std::shared_ptr<Shared> shared_;
    std::shared_ptr<MusicShared> music_; // the music scan beside, when not awaited
    std::thread thread_;
    std::thread musicThread_;
};

}
