// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ShowScanJob.h"

#include <QMetaObject>
#include <condition_variable>
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

// The music scan run beside the pictures; both threads hold a reference.
struct ShowScanJob::MusicShared {
    ScanProgress progress;
    std::mutex mutex;
    std::condition_variable changed; // ended, or cancelled
    bool ended = false;
    ShowScanResult result;
    std::exception_ptr failure;
};

namespace {

// Runs `scan`, keeping what else it throws apart from its result.
template <typename F>
ShowScanResult RunScan(F&& scan, std::exception_ptr& failure)
{
    try {
        return scan();
    } catch (...) {
        failure = std::current_exception();
        return {};
    }
}

}

ShowScanJob::ShowScanJob(Scan scan, MusicScan scanMusic, ShowFolders folders, std::chrono::milliseconds musicLimit)
    : folders_(std::move(folders)), shared_(std::make_shared<Shared>())
{
    shared_->receiver = this;
    std::optional<std::string> awaitedMusic;
    // The music folder given as the picture folder (its box follows the
    // picture box by default): one walk fills both lists, so waiting for the
    // music costs nothing more.
    if (folders_.musicAwaited || folders_.music == folders_.pictures) {
        awaitedMusic = folders_.music;
    } else {
        music_ = std::make_shared<MusicShared>();
        musicThread_ = std::thread([music = music_, scanMusic = std::move(scanMusic), folder = folders_.music] {
            std::exception_ptr failure;
            ShowScanResult result = RunScan([&] { return scanMusic(folder, &music->progress); }, failure);
            std::lock_guard lock(music->mutex);
            music->result = std::move(result);
            music->failure = failure;
            music->ended = true;
            music->changed.notify_all();
        });
    }
    auto pictureScan = [shared = shared_, music = music_, scan = std::move(scan), pictures = folders_.pictures,
                        awaitedMusic = std::move(awaitedMusic), musicLimit] {
        std::exception_ptr failure;
        ShowScanResult result =
            RunScan([&] { return scan(pictures, awaitedMusic, &shared->progress); }, failure);
        if (music) {
            // A failed picture scan ends Play before the music matters.
            std::unique_lock lock(music->mutex);
            if (!failure && !result.pictureError
                && music->changed.wait_for(lock, musicLimit, [&] { return music->ended || music->progress.cancel; })
                && music->ended) {
                failure = music->failure;
                result.music = std::move(music->result.music);
                result.musicError = music->result.musicError;
            } else {
                music->progress.cancel = true;
            }
        }
        std::lock_guard lock(shared->mutex);
        shared->result = std::move(result);
        shared->failure = failure;
        if (shared->receiver)
            QMetaObject::invokeMethod(shared->receiver, &ShowScanJob::Collect, Qt::QueuedConnection);
    };
    try {
        thread_ = std::thread(std::move(pictureScan));
    } catch (...) {
        CancelMusic();
        JoinInBackground(std::move(musicThread_));
        throw;
    }
}

void ShowScanJob::CancelMusic()
{
    if (!music_)
        return;
    std::lock_guard lock(music_->mutex);
    music_->progress.cancel = true;
    music_->changed.notify_all();
}

ShowScanJob::~ShowScanJob()
{
    shared_->progress.cancel = true;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->receiver = nullptr;
    }
    CancelMusic();
    JoinInBackground(std::move(thread_));
    JoinInBackground(std::move(musicThread_));
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
