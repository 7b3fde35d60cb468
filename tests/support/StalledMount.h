// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

namespace kalvio::test {

// A file system that never answers, as a network mount does when its server
// is gone: a FUSE mount whose server reads no request, so any look at a path
// inside it waits. Release() (or destruction) cuts the connection; the waiting
// calls then fail with "Transport endpoint is not connected".
//
// The connection is cut by itself after selfReleaseS seconds, so that code
// waiting on the mount fails a test's time bound instead of hanging the test.
//
// Mounting needs root and /dev/fuse. The mount is made in a mount namespace of
// the calling thread's own, so nothing else on the machine meets it; threads
// this thread starts afterwards share that namespace.
class StalledMount {
public:
    static constexpr int selfReleaseS = 30;

    StalledMount()
    {
        mounted_ = Mount();
        if (mounted_)
            watchdog_ = std::thread([this] {
                std::unique_lock lock(mutex_);
                released_.wait_for(lock, std::chrono::seconds(selfReleaseS), [this] { return fd_ < 0; });
                CloseConnection();
            });
    }
    ~StalledMount()
    {
        Release();
        if (watchdog_.joinable())
            watchdog_.join();
        if (mounted_)
            umount2(dir_.c_str(), MNT_DETACH);
        if (!dir_.empty())
            rmdir(dir_.c_str());
    }
    StalledMount(const StalledMount&) = delete;
    StalledMount& operator=(const StalledMount&) = delete;

    bool Usable() const { return mounted_; }
    // Why it could not be mounted.
    const std::string& Why() const { return why_; }
    // A path inside the mount; nothing exists there.
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    void Release()
    {
        std::lock_guard lock(mutex_);
        CloseConnection();
        released_.notify_all();
    }

private:
    bool Mount()
    {
        if (unshare(CLONE_NEWNS) != 0)
            return Fail("no mount namespace of our own");
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return Fail("cannot make the mounts private");
        char dir[] = "/tmp/kalvio-stalled-XXXXXX";
        if (!mkdtemp(dir))
            return Fail("mkdtemp");
        dir_ = dir;
        fd_ = open("/dev/fuse", O_RDWR | O_CLOEXEC);
        if (fd_ < 0)
            return Fail("/dev/fuse");
        const std::string options = "fd=" + std::to_string(fd_) + ",rootmode=40000,user_id=0,group_id=0";
        if (mount("kalvio-stalled", dir_.c_str(), "fuse.kalvio-stalled", MS_NOSUID | MS_NODEV, options.c_str()) != 0)
            return Fail("mount");
        return true;
    }
    bool Fail(const char* what)
    {
        why_ = std::string(what) + ": " + std::strerror(errno);
        CloseConnection();
        return false;
    }
    void CloseConnection()
    {
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
    }

    std::string dir_;
    std::string why_;
    int fd_ = -1;
    bool mounted_ = false;
    std::mutex mutex_;
    std::condition_variable released_;
    std::thread watchdog_;
};

}
