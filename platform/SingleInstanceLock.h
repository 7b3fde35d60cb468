#pragma once

#include <string>

namespace kalvio {

// Holds an exclusive lock on a file named after the program for the life of the
// process (or of this object). The system releases it when the process ends in
// any way, so a copy that crashed never blocks the next start.
class SingleInstanceLock {
public:
    enum class Result { Acquired, AlreadyRunning };

    // The lock file: $XDG_RUNTIME_DIR/<name>.lock when that folder is usable,
    // else /tmp/<name>-<uid>.lock.
    explicit SingleInstanceLock(std::string name = "kalvio");
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // Takes the lock without waiting. AlreadyRunning when another process
    // holds it. Throws std::system_error when the lock file cannot be opened.
    // Calling it again while held returns Acquired.
    Result Acquire();
    bool Held() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
};

// Where the lock file named `name` lives, as SingleInstanceLock chooses it.
std::string SingleInstanceLockPath(const std::string& name);

}
