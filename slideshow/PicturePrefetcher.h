// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/graphics/Bitmap.h"
#include "platform/picture/JpegLimits.h"

namespace kalvio {

// One entry of the picture list, made at the size it will be shown.
struct PictureRequest {
    int index = -1;
    std::string path;
    int32_t width = 0;
    int32_t height = 0;
    friend bool operator==(const PictureRequest&, const PictureRequest&) = default;
};

// Makes one picture ahead on a worker thread and keeps at most one result:
// the picture or the failure of its decode, for one request. Nothing here
// waits for the worker: a request that is dropped or replaced is cancelled
// through its flag, and a picture is taken only once its decode has ended.
// A worker stuck in a file that never answers is waited for, never replaced:
// requests made meanwhile queue behind its read, so a share that does not
// answer holds one thread, however long it sleeps. The worker only decodes
// into its own bitmap; nothing else runs on it.
class PicturePrefetcher {
public:
    // Makes the picture of `path` at width x height; stops early (throwing
    // PictureCancelled) once `cancel` is set. Runs on the worker.
    using Decoder = std::function<Bitmap(const std::string& path, int32_t width, int32_t height,
                                         const CancelFlag* cancel)>;
    // Called on the worker each time a decode ends; it must only hand the news
    // on (post an event), since the worker holds its lock meanwhile.
    using Done = std::function<void()>;

    // `decode` defaults to LoadPictureRendition.
    explicit PicturePrefetcher(Decoder decode = {}, Done done = {});
    // Cancels what is in flight and returns at once; the worker is joined in
    // the background (JoinInBackground) and owns what it still uses.
    ~PicturePrefetcher();
    PicturePrefetcher(const PicturePrefetcher&) = delete;
    PicturePrefetcher& operator=(const PicturePrefetcher&) = delete;

    // Drops what is held, cancelling its decode, and starts making `request`;
    // nothing when that request is already held. False when no worker thread
    // could be started.
    bool Start(const PictureRequest& request);
    // True when the picture for exactly this request has been made (or has
    // failed): Take then returns at once. Otherwise it is started, if it was
    // not, and `done` tells when it ends.
    bool Ready(const PictureRequest& request);
    // The picture made for this request once its decode has ended (rethrows the
    // decode's failure); nothing is held afterwards. nullptr while it is still
    // being made (it stays held) or when nothing was made for exactly this
    // request (another entry, or another size: what was held is cancelled).
    std::shared_ptr<const Bitmap> Take(const PictureRequest& request);
    // Drops what is held and cancels its decode, without waiting for it.
    void Cancel();

private:
    struct Job;
    struct Shared;
    static void Work(std::shared_ptr<Shared> shared);
    bool WorkerRuns();
    void EndWorker();

    Decoder decode_;
    Done done_;
    std::shared_ptr<Shared> shared_;
    std::shared_ptr<Job> held_;
    std::thread worker_; // started by the first Start
};

}
