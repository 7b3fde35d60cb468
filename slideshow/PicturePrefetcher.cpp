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

// What one worker uses: it holds its own reference, so it never outlives it.
struct PicturePrefetcher::Shared {
    Shared(Decoder d, Done n) : decode(std::move(d)), done(std::move(n)) { }
    const Decoder decode;
    std::mutex mutex;
    std::condition_variable changed;
    Done done;                   // cleared when the worker is let go
    std::shared_ptr<Job> next;   // waiting for the worker
    bool ending = false;
};

PicturePrefetcher::PicturePrefetcher(Decoder decode, Done done) : decode_(std::move(decode)), done_(std::move(done))
{
    if (!decode_)
        decode_ = [](const std::string& path, int32_t width, int32_t height, const CancelFlag* cancel) {
            return LoadPictureRendition(path, width, height, cancel);
        };
    shared_ = std::make_shared<Shared>(decode_, done_);
}

PicturePrefetcher::~PicturePrefetcher()
{
    Cancel();
    EndWorker();
}

void PicturePrefetcher::EndWorker()
{
    {
        std::lock_guard lock(shared_->mutex);
        shared_->ending = true;
        shared_->done = nullptr;
    }
    shared_->changed.notify_all();
    if (worker_.joinable())
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
        if (shared->done)
            shared->done();
    }
}

bool PicturePrefetcher::WorkerRuns()
{
    if (!worker_.joinable()) {
        try {
            worker_ = std::thread(Work, shared_);
        } catch (const std::system_error&) {
            return false;
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

bool PicturePrefetcher::Start(const PictureRequest& request)
{
    if (held_ && held_->request == request)
        return true;
    // At most one picture ahead: the one before is cancelled, not waited for.
    Cancel();
    if (!WorkerRuns())
        return false;
    auto job = std::make_shared<Job>(request);
    {
        std::lock_guard lock(shared_->mutex);
        shared_->next = job;
    }
    shared_->changed.notify_all();
    held_ = std::move(job);
    return true;
}

bool PicturePrefetcher::Ready(const PictureRequest& request)
{
    if (!Start(request))
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                "No thread to load " + request.path);
    std::lock_guard lock(shared_->mutex);
    return held_->done;
}

std::shared_ptr<const Bitmap> PicturePrefetcher::Take(const PictureRequest& request)
{
    if (!held_)
        return nullptr;
    if (!(held_->request == request)) {
        Cancel();
        return nullptr;
    }
    {
        std::lock_guard lock(shared_->mutex);
        if (!held_->done)
            return nullptr;
    }
    const std::shared_ptr<Job> job = std::move(held_);
    if (job->error)
        std::rethrow_exception(job->error);
    return job->picture;
}

}
