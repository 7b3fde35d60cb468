#include "platform/SingleInstanceLock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace kalvio {

namespace {

// The user's runtime folder counts only when it is an absolute path to a
// folder we can create files in.
bool UsableFolder(const char* dir) {
    if (!dir || dir[0] != '/') return false;
    struct stat st {};
    if (stat(dir, &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return access(dir, W_OK | X_OK) == 0;
}

}

std::string SingleInstanceLockPath(const std::string& name) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (UsableFolder(runtime)) return std::string(runtime) + "/" + name + ".lock";
    return "/tmp/" + name + "-" + std::to_string(getuid()) + ".lock";
}

SingleInstanceLock::SingleInstanceLock(std::string name)
    : path_(SingleInstanceLockPath(name)) {}

SingleInstanceLock::~SingleInstanceLock() {
    if (fd_ >= 0) close(fd_);
}

SingleInstanceLock::Result SingleInstanceLock::Acquire() {
    if (fd_ >= 0) return Result::Acquired;
    // Close-on-exec, so programs we start (a web browser) never inherit the lock;
    // no following of links, since the fallback lives in a shared folder.
    int fd = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) throw std::system_error(errno, std::generic_category(), "Cannot open " + path_);
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != getuid()) {
        close(fd);
        throw std::system_error(EPERM, std::generic_category(),
                                "Lock file " + path_ + " is not a file of this user");
    }
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        if (err == EINTR) continue;
        close(fd);
        if (err == EWOULDBLOCK) return Result::AlreadyRunning;
        throw std::system_error(err, std::generic_category(), "Cannot lock " + path_);
    }
    fd_ = fd;
    return Result::Acquired;
}

}
