// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/picture/PictureError.h"
#include "slideshow/PicturePrefetcher.h"

namespace kalvio::test {

// A decoder that runs until its cancel flag is set (or `limit` has passed),
// counting the decodes it started and the cancels it saw. With heedsCancel
// off it sees the flag but runs on until the test sets `released` once it has
// seen the cancel (or to the limit), as a decoder that checks it rarely would. What it counts is shared,
// since a worker may run it after the test has moved on.
struct SlowDecoder {
    struct Seen {
        std::atomic<int> started { 0 };
        std::atomic<int> cancelled { 0 };
        std::atomic<bool> released { false };
    };
    std::shared_ptr<Seen> seen = std::make_shared<Seen>();
    std::chrono::milliseconds limit { 20000 };
    bool heedsCancel = true;

    // A call that does not wait for the decode returns within this, however
    // busy the machine; one that waits takes the whole limit.
    double UnwaitedSeconds() const { return std::chrono::duration<double>(limit).count() / 2; }

    PicturePrefetcher::Decoder Decoder() const
    {
        return [seen = seen, limit = limit, heeds = heedsCancel](const std::string&, int32_t w, int32_t h,
                                                                 const CancelFlag* cancel) {
            ++seen->started;
            bool noted = false;
            const auto end = std::chrono::steady_clock::now() + limit;
            while (!seen->released && std::chrono::steady_clock::now() < end) {
                if (cancel && cancel->load() && !noted) {
                    noted = true;
                    ++seen->cancelled;
                    if (heeds)
                        throw PictureCancelled();
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            return Bitmap(w, h);
        };
    }
};

}
