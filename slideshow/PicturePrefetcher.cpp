// SPDX-License-Identifier: GPL-3.0-or-later
#include "slideshow/PicturePrefetcher.h"

#include "platform/picture/JpegRendition.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <utility>

#include "slideshow/ThreadJoiner.h"

namespace kalvio {

struct PicturePrefetcher::Job {
    explicit Job(PictureRequest r) : request(std::move(r)) { }
    const PictureRequest request;
    CancelFlag cancel { false };
    // Written by the worker under Shared::mutex.
    bool done = false;
    std::shared_ptr<const Bitmap> picture;
    std::exception_ptr error;
};

// What the worker uses: it holds its own reference, so it never outlives it.
struct PicturePrefetcher::Shared {
    explicit Shared(Decoder d) : decode(std::move(d)) { }
    const Decoder decode;
    std::mutex mutex;
    std::condition_variable changed;
    std::shared_ptr<Job> next; // waiting for the worker
    bool ending = false;
};

PicturePrefetcher::PicturePrefetcher(Decoder decode)
{
    if (!decode)
        decode = [](const std::string& path, int32_t width, int32_t height, const CancelFlag* cancel) {
            return LoadPictureRendition(path, width, height, cancel);
        };
    shared_ = std::make_shared<Shared>(std::move(decode));
}

PicturePrefetcher::~PicturePrefetcher()
{
    Cancel();
    if (!worker_.joinable())
        return;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->ending = true;
    }
    shared_->changed.notify_all();
    JoinInBackground(std::move(worker_));
}

void PicturePrefetcher::Work(std::shared_ptr<Shared> shared)
{
    std::unique_lock lock(shared->mutex);
    for (;;) {
        shared->changed.wait(lock, [&] { return shared->ending || shared->next; });
        if (shared->ending)
            return;
        const std::shared_ptr<Job> job = std::move(shared->next);
        lock.unlock();
        std::shared_ptr<const Bitmap> picture;
        std::exception_ptr error;
        try {
            const PictureRequest& r = job->request;
            picture = std::make_shared<const Bitmap>(shared->decode(r.path, r.width, r.height, &job->cancel));
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        job->picture = std::move(picture);
        job->error = error;
        job->done = true;
        shared->changed.notify_all();
    }
}

bool PicturePrefetcher::WorkerRuns()
{
    if (!worker_.joinable()) {
        try {
            worker_ = std::thread(Work, shared_);
        } catch (const std::system_error&) {
            return false; // no thread: each tick loads its picture itself
        }
    }
    return true;
}

void PicturePrefetcher::Cancel()
{
    if (!held_)
        return;
    held_->cancel = true;
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->next == held_)
            shared_->next.reset();
    }
    held_.reset();
}

void PicturePrefetcher::Start(const PictureRequest& request)
{
    if (held_ && held_->request == request)
        return;
    // At most one picture ahead: the one before is cancelled, not waited for.
    Cancel();
    if (!WorkerRuns())
        return;
    auto job = std::make_shared<Job>(request);
    {
        std::lock_guard lock(shared_->mutex);
        shared_->next = job;
    }
    shared_->changed.notify_all();
    held_ = std::move(job);
}

std::shared_ptr<const Bitmap> PicturePrefetcher::Take(const PictureRequest& request)
{
    if (!held_)
        return nullptr;
    if (!(held_->request == request)) {
        Cancel();
        return nullptr;
    }
    const std::shared_ptr<Job> job = std::move(held_);
    {
        std::unique_lock lock(shared_->mutex);
        shared_->changed.wait(lock, [&] { return job->done; });
    }
    if (job->error)
        std::rethrow_exception(job->error);
    return job->picture;
}

Bitmap PicturePrefetcher::Decode(const std::string& path, int32_t width, int32_t height) const
{
    return shared_->decode(path, width, height, nullptr);
}

}
