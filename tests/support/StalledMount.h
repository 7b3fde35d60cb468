// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "support/FuseMount.h"

namespace kalvio::test {

// A file system that never answers, as a network mount does when its server
// is gone: a FUSE mount whose server reads no request, so any look at a path
// inside it waits. Release() (or destruction) cuts the connection; the waiting
// calls then fail with "Transport endpoint is not connected".
//
// The connection is cut by itself after selfReleaseS seconds, so that code
// waiting on the mount fails a test's time bound instead of hanging the test.
// Mounted as FuseMount mounts (root, /dev/fuse, a namespace of its own).
class StalledMount {
public:
    static constexpr int selfReleaseS = 30;

    StalledMount()
    {
        if (mount_.Usable())
            watchdog_ = std::thread([this] {
                std::unique_lock lock(mutex_);
                released_.wait_for(lock, std::chrono::seconds(selfReleaseS), [this] { return cut_; });
                mount_.CloseConnection();
            });
    }
    ~StalledMount()
    {
        Release();
        if (watchdog_.joinable())
            watchdog_.join();
    }
    StalledMount(const StalledMount&) = delete;
    StalledMount& operator=(const StalledMount&) = delete;

    bool Usable() const { return mount_.Usable(); }
    // Why it could not be mounted.
    const std::string& Why() const { return mount_.Why(); }
    // A path inside the mount; nothing exists there.
    std::string Path(const std::string& name) const { return mount_.Dir() + "/" + name; }

    void Release()
    {
        std::lock_guard lock(mutex_);
        cut_ = true;
        mount_.CloseConnection();
        released_.notify_all();
    }

private:
    FuseMount mount_{"stalled"};
    bool cut_ = false;
    std::mutex mutex_;
    std::condition_variable released_;
    std::thread watchdog_;
};

}
