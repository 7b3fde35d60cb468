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
// the picture or the failure of its decode, for one request. A request that
// is dropped or replaced is cancelled through its flag, never waited for: the
// worker ends it by itself and goes on with the next. The worker only decodes
// into its own bitmap; nothing else runs on it.
class PicturePrefetcher {
public:
    // Makes the picture of `path` at width x height; stops early (throwing
    // PictureCancelled) once `cancel` is set. Runs on the worker.
    using Decoder = std::function<Bitmap(const std::string& path, int32_t width, int32_t height,
                                         const CancelFlag* cancel)>;

    // `decode` defaults to LoadPictureRendition.
    explicit PicturePrefetcher(Decoder decode = {});
    // Cancels what is in flight and returns at once; the worker is joined in
    // the background (JoinInBackground) and owns what it still uses.
    ~PicturePrefetcher();
    PicturePrefetcher(const PicturePrefetcher&) = delete;
    PicturePrefetcher& operator=(const PicturePrefetcher&) = delete;

    // Drops what is held, cancelling its decode, and starts making `request`;
    // nothing when that request is already held.
    void Start(const PictureRequest& request);
    // The picture made ahead for this request, waiting for its decode to end;
    // rethrows the decode's failure. nullptr when nothing was made ahead for
    // exactly this request (another entry, or another size: what was held is
    // cancelled). Either way nothing is held afterwards.
    std::shared_ptr<const Bitmap> Take(const PictureRequest& request);
    // Drops what is held and cancels its decode, without waiting for it.
    void Cancel();
    // Makes a picture on the calling thread, as the worker would.
    Bitmap Decode(const std::string& path, int32_t width, int32_t height) const;

private:
    struct Job;
    struct Shared;
    static void Work(std::shared_ptr<Shared> shared);
    bool WorkerRuns();

    std::shared_ptr<Shared> shared_;
    std::shared_ptr<Job> held_;
    std::thread worker_; // started by the first Start
};

}
