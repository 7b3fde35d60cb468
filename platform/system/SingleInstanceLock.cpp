// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/SingleInstanceLock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace kalvio {

namespace {

// The folder of the lock file, held open so that the folder checked is the
// folder used, and the file's name in it.
class LockFolder {
public:
    // The runtime folder when it is a folder of this user's that nobody else
    // may enter or change (a link to such a folder counts as the folder);
    // otherwise /tmp, where the user id in the name keeps users apart and what
    // is found is checked before it is trusted.
    explicit LockFolder(const std::string& name) {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (runtime && runtime[0] == '/') {
            fd_ = open(runtime, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            struct stat st {};
            if (fd_ >= 0 && fstat(fd_, &st) == 0 && st.st_uid == geteuid() && (st.st_mode & 0777) == 0700) {
                path_ = runtime;
                file_ = name + ".lock";
                return;
            }
            if (fd_ >= 0) close(fd_);
        }
        fd_ = open("/tmp", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        path_ = "/tmp";
        file_ = name + "-" + std::to_string(getuid()) + ".lock";
    }
    ~LockFolder() {
        if (fd_ >= 0) close(fd_);
    }
    LockFolder(const LockFolder&) = delete;
    LockFolder& operator=(const LockFolder&) = delete;

    // -1 when the folder could not be opened.
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    const std::string& file() const { return file_; }
    std::string FilePath() const { return path_ + "/" + file_; }

private:
    int fd_ = -1;
    std::string path_;
    std::string file_;
};

std::system_error Error(int err, const std::string& what) {
    return std::system_error(err, std::generic_category(), what);
}

}

std::string SingleInstanceLockPath(const std::string& name) { return LockFolder(name).FilePath(); }

SingleInstanceLock::SingleInstanceLock(std::string name)
    : name_(std::move(name)), path_(SingleInstanceLockPath(name_)) {}

SingleInstanceLock::~SingleInstanceLock() {
    if (fd_ >= 0) close(fd_);
}

SingleInstanceLock::Result SingleInstanceLock::Acquire() {
    if (fd_ >= 0) return Result::Acquired;
    const LockFolder folder(name_);
    path_ = folder.FilePath();
    if (folder.fd() < 0) throw Error(errno, "Cannot open " + folder.path());
    // Close-on-exec, so programs we start (a web browser) never inherit the
    // lock. No following of links and no waiting on a pipe: in a shared folder
    // someone else may have put anything at this name.
    constexpr int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        fd = openat(folder.fd(), folder.file().c_str(), flags | O_CREAT, 0600);
        if (fd < 0) throw Error(errno, "Cannot open " + path_);
        struct stat st {};
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() || st.st_nlink != 1) {
            close(fd);
            throw Error(EPERM, "Lock file " + path_ + " is not a file of this user");
        }
        if ((st.st_mode & 077) == 0) break;
        // Whoever could open the file may hold a descriptor of it already, and
        // a lock taken through any descriptor (a read-only one too) would keep
        // us out for good: a new file replaces it, which only its owner can
        // open. (In a folder others may write to, the name is ours as long as
        // our file holds it; should someone take it in between, the next round
        // checks what they put there.)
        close(fd);
        fd = -1;
        if (attempt == 2) throw Error(EPERM, "Cannot make " + path_ + " anew");
        if (unlinkat(folder.fd(), folder.file().c_str(), 0) != 0 && errno != ENOENT)
            throw Error(errno, "Cannot remove " + path_);
        fd = openat(folder.fd(), folder.file().c_str(), flags | O_CREAT | O_EXCL, 0600);
        if (fd < 0 && errno != EEXIST) throw Error(errno, "Cannot create " + path_);
    }
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        if (err == EINTR) continue;
        close(fd);
        if (err == EWOULDBLOCK) return Result::AlreadyRunning;
        throw Error(err, "Cannot lock " + path_);
    }
    fd_ = fd;
    return Result::Acquired;
}

}
