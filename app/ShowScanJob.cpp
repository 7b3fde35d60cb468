// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ShowScanJob.h"

#include <QMetaObject>
#include <exception>
#include <mutex>
#include <utility>

#include "slideshow/ThreadJoiner.h"

namespace kalvio {

// What the scanning thread uses; it holds its own reference.
struct ShowScanJob::Shared {
    ScanProgress progress;
    std::mutex mutex;
    ShowScanJob* receiver = nullptr; // cleared when the job is dropped
    ShowScanResult result;
    std::exception_ptr failure; // anything else the scan threw
};

ShowScanJob::ShowScanJob(Scan scan, std::string pictureFolder, std::optional<std::string> musicFolder)
    : shared_(std::make_shared<Shared>())
{
    shared_->receiver = this;
    thread_ = std::thread([shared = shared_, scan = std::move(scan), pictures = std::move(pictureFolder),
                           music = std::move(musicFolder)] {
        ShowScanResult result;
        std::exception_ptr failure;
        try {
            result = scan(pictures, music, &shared->progress);
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard lock(shared->mutex);
        shared->result = std::move(result);
        shared->failure = failure;
        if (shared->receiver)
            QMetaObject::invokeMethod(shared->receiver, &ShowScanJob::Collect, Qt::QueuedConnection);
    });
}

ShowScanJob::~ShowScanJob()
{
    shared_->progress.cancel = true;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->receiver = nullptr;
    }
    JoinInBackground(std::move(thread_));
}

size_t ShowScanJob::PicturesFound() const
{
    return shared_->progress.picturesFound;
}

ShowScanResult ShowScanJob::TakeResult()
{
    std::lock_guard lock(shared_->mutex);
    if (shared_->failure)
        std::rethrow_exception(shared_->failure);
    return std::move(shared_->result);
}

void ShowScanJob::Collect()
{
    emit finished();
}

}
