// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "catalogue/ShowScan.h"

namespace kalvio {

// Play's folder scans on a thread of their own, so that the settings window
// paints and answers while a share takes its time (or never answers). The
// result comes back through the event loop (finished); dropping the job
// cancels the scan and waits for nothing: a scan stuck in a call on a dead
// share is left to end by itself, or with the process.
class ShowScanJob : public QObject {
    Q_OBJECT
public:
    using Scan = std::function<ShowScanResult(const std::string& pictureFolder,
                                              const std::optional<std::string>& musicFolder, ScanProgress* progress)>;

    // Starts `scan` on the folders; throws std::system_error when no thread
    // can be started.
    ShowScanJob(Scan scan, std::string pictureFolder, std::optional<std::string> musicFolder);
    ~ShowScanJob() override;

    // Pictures found so far.
    size_t PicturesFound() const;
    // The scans' result once finished was emitted; rethrows what else the
    // scan threw.
    ShowScanResult TakeResult();

signals:
    void finished();

private:
    struct Shared;
    void Collect();

    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

}
