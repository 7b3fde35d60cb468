// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace kalvio {

// Holds an exclusive lock on a file named after the program for the life of the
// process (or of this object). The system releases it when the process ends in
// any way, so a copy that crashed never blocks the next start.
class SingleInstanceLock {
public:
    enum class Result { Acquired, AlreadyRunning };

    // The lock file: <name>.lock in the user's runtime folder ($XDG_RUNTIME_DIR)
    // when that is a folder of this user's that nobody else may enter (mode
    // 0700), else /tmp/<name>-<uid>.lock.
    explicit SingleInstanceLock(std::string name = "kalvio");
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // Takes the lock without waiting. AlreadyRunning when another process
    // holds it. Throws std::system_error when the lock file cannot be used: it
    // cannot be opened or created, or what is there is not a plain file of this
    // user's (a link, a pipe, a folder, another user's file). A file of this
    // user's that others could open is removed and made anew, so that nobody
    // else can hold a descriptor of it. Calling it again while held returns
    // Acquired.
    Result Acquire();
    bool Held() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }

private:
    std::string name_;
    std::string path_;
    int fd_ = -1;
};

// Where the lock file named `name` lives, as SingleInstanceLock chooses it.
std::string SingleInstanceLockPath(const std::string& name);

}
