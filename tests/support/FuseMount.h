// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace kalvio::test {

// A FUSE file system mounted for a test's own server: the connection's
// descriptor is the server's to read requests from and answer.
//
// Mounting needs root and /dev/fuse. The mount is made in a mount namespace of
// the calling thread's own, so nothing else on the machine meets it; threads
// and processes this thread starts afterwards share that namespace.
class FuseMount {
public:
    // `type` names the file system ("fuse.<type>"); `options` are added to
    // the mount's own.
    explicit FuseMount(const std::string& type, const std::string& options = "")
    {
        mounted_ = Mount(type, options);
    }
    ~FuseMount()
    {
        CloseConnection();
        if (mounted_)
            umount2(dir_.c_str(), MNT_DETACH);
        if (!dir_.empty())
            rmdir(dir_.c_str());
    }
    FuseMount(const FuseMount&) = delete;
    FuseMount& operator=(const FuseMount&) = delete;

    bool Usable() const { return mounted_; }
    // Why it could not be mounted.
    const std::string& Why() const { return why_; }
    const std::string& Dir() const { return dir_; }
    // The connection: requests come from it, answers go to it; -1 once closed.
    int Connection() const { return fd_; }

    // Cuts the connection: calls waiting on the mount then fail with
    // "Transport endpoint is not connected", later ones too.
    void CloseConnection()
    {
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
    }

private:
    bool Mount(const std::string& type, const std::string& options)
    {
        if (unshare(CLONE_NEWNS) != 0)
            return Fail("no mount namespace of our own");
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return Fail("cannot make the mounts private");
        std::string dir = "/tmp/kalvio-" + type + "-XXXXXX";
        if (!mkdtemp(dir.data()))
            return Fail("mkdtemp");
        dir_ = dir;
        fd_ = open("/dev/fuse", O_RDWR | O_CLOEXEC);
        if (fd_ < 0)
            return Fail("/dev/fuse");
        const std::string all = "fd=" + std::to_string(fd_) + ",rootmode=40000,user_id=0,group_id=0" +
                                (options.empty() ? "" : "," + options);
        if (mount(("kalvio-" + type).c_str(), dir_.c_str(), ("fuse.kalvio-" + type).c_str(), MS_NOSUID | MS_NODEV,
                  all.c_str()) != 0)
            return Fail("mount");
        return true;
    }
    bool Fail(const char* what)
    {
        why_ = std::string(what) + ": " + std::strerror(errno);
        CloseConnection();
        return false;
    }

    std::string dir_;
    std::string why_;
    int fd_ = -1;
    bool mounted_ = false;
};

}
