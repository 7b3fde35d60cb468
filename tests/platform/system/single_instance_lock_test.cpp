// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/SingleInstanceLock.h"
#include "support/EnvOverride.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <vector>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using kalvio::SingleInstanceLock;
using kalvio::test::EnvOverride;
using Result = SingleInstanceLock::Result;

namespace {

// A child process that runs `attempt`, tells the parent whether it succeeded,
// and then keeps what it holds until it is killed.
class Holder {
public:
    explicit Holder(const std::function<bool()>& attempt) {
        int fds[2];
        if (pipe(fds) != 0) throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            const char r = attempt() ? 'y' : 'n';
            (void)!write(fds[1], &r, 1);
            for (;;) pause();
        }
        close(fds[1]);
        char r = 0;
        if (read(fds[0], &r, 1) != 1) r = 0;
        close(fds[0]);
        succeeded_ = r == 'y';
    }
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;
    ~Holder() { Kill(); }
    bool Succeeded() const { return succeeded_; }
    void Kill() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    bool succeeded_ = false;
};

// A child process that takes the lock and keeps it until it is killed.
class LockHolder : public Holder {
public:
    explicit LockHolder(const std::string& name)
        : Holder([&] {
            // Kept for the child's life, which ends by SIGKILL.
            auto* lock = new SingleInstanceLock(name);
            return lock->Acquire() == Result::Acquired;
        }) { }
    bool Acquired() const { return Succeeded(); }
};

std::string UniqueName(const char* what) {
    return std::string("kalvio-test-") + what + "-" + std::to_string(getpid());
}

}

TEST(SingleInstanceLock, AnotherProcessHoldingItRefusesUntilItDies) {
    const std::string name = UniqueName("held");
    LockHolder holder(name);
    ASSERT_TRUE(holder.Acquired());

    SingleInstanceLock second(name);
    EXPECT_EQ(second.Acquire(), Result::AlreadyRunning);
    EXPECT_FALSE(second.Held());
    EXPECT_EQ(second.Acquire(), Result::AlreadyRunning) << "a refused attempt can be repeated";

    holder.Kill();  // SIGKILL: no clean-up runs, the lock file stays behind
    EXPECT_EQ(second.Acquire(), Result::Acquired);
    EXPECT_TRUE(second.Held());
    unlink(second.Path().c_str());
}

TEST(SingleInstanceLock, HeldHereRefusesAChildAndIsFreedByDestruction) {
    const std::string name = UniqueName("own");
    std::string path;
    {
        SingleInstanceLock first(name);
        ASSERT_EQ(first.Acquire(), Result::Acquired);
        EXPECT_EQ(first.Acquire(), Result::Acquired) << "acquiring again while held";
        path = first.Path();
        LockHolder child(name);
        EXPECT_FALSE(child.Acquired());
        SingleInstanceLock sameProcess(name);
        EXPECT_EQ(sameProcess.Acquire(), Result::AlreadyRunning);
    }
    LockHolder child(name);
    EXPECT_TRUE(child.Acquired());
    child.Kill();
    unlink(path.c_str());
}

// The runtime folder holds the lock only when it is a folder of this user's
// that nobody else may enter; anything else gives way to /tmp.
TEST(SingleInstanceLock, RuntimeFolderOnlyWhenPrivateToTheUser) {
    const kalvio::test::TempFolder temp("kalvio-lock-dirs");
    const std::string base = temp.path().string();
    auto folder = [&](const std::string& name, mode_t mode, uid_t owner) {
        const std::string path = base + "/" + name;
        EXPECT_EQ(mkdir(path.c_str(), 0700), 0);
        EXPECT_EQ(chmod(path.c_str(), mode), 0);
        EXPECT_EQ(chown(path.c_str(), owner, gid_t(-1)), 0);
        return path;
    };
    auto link = [&](const std::string& name, const std::string& to) {
        const std::string path = base + "/" + name;
        EXPECT_EQ(symlink(to.c_str(), path.c_str()), 0);
        return path;
    };
    const uid_t me = geteuid();
    const std::string mine = folder("mine", 0700, me);
    const std::string file = base + "/plain-file";
    FILE* f = fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fclose(f);

    struct Case {
        const char* what;
        std::optional<std::string> runtime;
        bool used;
    };
    std::vector<Case> cases = {
        {"a private folder", mine, true},
        {"a link to it", link("to-mine", mine), true},
        {"a folder the group may enter", folder("group", 0750, me), false},
        {"a folder all may change", folder("all", 0777, me), false},
        {"unset", std::nullopt, false},
        {"empty", "", false},
        {"a relative path", "relative/dir", false},
        {"a missing folder", base + "/missing", false},
        {"a plain file", file, false},
    };
    if (me == 0) {
        // Only root can give a folder away.
        const std::string theirs = folder("theirs", 0700, 65534);
        cases.push_back({"another user's folder", theirs, false});
        cases.push_back({"a link to another user's folder", link("to-theirs", theirs), false});
    }
    const std::string fallback = "/tmp/kalvio-" + std::to_string(getuid()) + ".lock";
    for (const Case& c : cases) {
        EnvOverride env("XDG_RUNTIME_DIR", c.runtime);
        EXPECT_EQ(kalvio::SingleInstanceLockPath("kalvio"), c.used ? *c.runtime + "/kalvio.lock" : fallback)
            << c.what;
    }
}

// What someone else may have put at the lock's name in /tmp before us. The
// lock is refused (the program then starts without it), and nothing found is
// followed, waited on or changed; a file of ours that others may open is made
// anew and taken.
TEST(SingleInstanceLock, WhatIsFoundInTmpIsCheckedBeforeItIsTrusted) {
    EnvOverride env("XDG_RUNTIME_DIR", std::nullopt);
    const std::string name = UniqueName("tmp");
    const std::string path = kalvio::SingleInstanceLockPath(name);
    ASSERT_EQ(path, "/tmp/" + name + "-" + std::to_string(getuid()) + ".lock");
    const std::string ours = path + ".ours";  // a file of ours elsewhere
    const std::string nowhere = path + ".nowhere";
    auto plainFile = [&](mode_t mode) {
        FILE* f = fopen(path.c_str(), "w");
        ASSERT_NE(f, nullptr);
        fclose(f);
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
    };
    struct Case {
        const char* what;
        std::function<void()> plant;
        bool taken;
    };
    std::vector<Case> cases = {
        {"a link to a file of ours", [&] { ASSERT_EQ(symlink(ours.c_str(), path.c_str()), 0); }, false},
        {"a link to nowhere", [&] { ASSERT_EQ(symlink(nowhere.c_str(), path.c_str()), 0); }, false},
        {"a pipe", [&] { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }, false},
        {"a folder", [&] { ASSERT_EQ(mkdir(path.c_str(), 0700), 0); }, false},
        {"a second name of a file of ours", [&] { ASSERT_EQ(::link(ours.c_str(), path.c_str()), 0); }, false},
        {"a file of ours that others may open", [&] { plainFile(0644); }, true},
    };
    if (geteuid() == 0)
        cases.push_back({"another user's file", [&] {
                             plainFile(0666);
                             ASSERT_EQ(chown(path.c_str(), 65534, gid_t(-1)), 0);
                         },
                         false});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FILE* f = fopen(ours.c_str(), "w");
        ASSERT_NE(f, nullptr);
        fclose(f);
        ASSERT_EQ(chmod(ours.c_str(), 0640), 0);
        c.plant();
        {
            SingleInstanceLock lock(name);
            if (c.taken) {
                EXPECT_EQ(lock.Acquire(), Result::Acquired);
            } else {
                EXPECT_THROW(lock.Acquire(), std::system_error);
                EXPECT_FALSE(lock.Held());
            }
        }
        struct stat st {};
        ASSERT_EQ(stat(ours.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0640u) << "a file of ours reached through the name is left alone";
        EXPECT_NE(lstat(nowhere.c_str(), &st), 0) << "nothing was made through a link";
        if (c.taken) {
            ASSERT_EQ(lstat(path.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, 0600u);
        }
        std::filesystem::remove(path);
        std::filesystem::remove(ours);
    }
}

// A lock file that others could open, held through a read-only descriptor
// someone else opened before (another user when run as root; without root a
// child of ours stands in for them): the file is made anew and the lock is
// taken, while the old descriptor locks nothing that matters any more.
TEST(SingleInstanceLock, ADescriptorOthersOpenedBeforeDoesNotKeepUsOut) {
    EnvOverride env("XDG_RUNTIME_DIR", std::nullopt);
    const std::string name = UniqueName("others");
    const std::string path = kalvio::SingleInstanceLockPath(name);
    for (mode_t mode : {mode_t(0640), mode_t(0604)}) {
        SCOPED_TRACE(mode);
        FILE* f = fopen(path.c_str(), "w");
        ASSERT_NE(f, nullptr);
        fclose(f);
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
        if (geteuid() == 0 && (mode & 070) != 0) {
            ASSERT_EQ(chown(path.c_str(), 0, 65534), 0);  // their group may read it
        }
        struct stat before {};
        ASSERT_EQ(stat(path.c_str(), &before), 0);

        // Another user opens the file read-only and locks it.
        Holder other([&] {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return false;
            const int fd = open(path.c_str(), O_RDONLY);
            return fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
        });
        EXPECT_TRUE(other.Succeeded()) << "the other side could not lock the file";

        {
            SingleInstanceLock lock(name);
            EXPECT_EQ(lock.Acquire(), Result::Acquired);
            struct stat now {};
            ASSERT_EQ(stat(path.c_str(), &now), 0);
            EXPECT_NE(now.st_ino, before.st_ino) << "the same file, not made anew";
            EXPECT_EQ(now.st_mode & 0777, 0600u);
            // A second copy of ours is still refused.
            EXPECT_FALSE(LockHolder(name).Acquired());
        }
        other.Kill();
        std::filesystem::remove(path);
    }
}

TEST(SingleInstanceLock, RefusesALockFileThatIsALink) {
    char tmpl[] = "/tmp/kalvio-lock-dir-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    EnvOverride env("XDG_RUNTIME_DIR", dir);
    const std::string target = dir + "/elsewhere";
    ASSERT_EQ(symlink(target.c_str(), (dir + "/kalvio.lock").c_str()), 0);
    SingleInstanceLock lock("kalvio");
    EXPECT_THROW(lock.Acquire(), std::system_error);
    struct stat st {};
    EXPECT_NE(lstat(target.c_str(), &st), 0) << "nothing was created through the link";
    unlink((dir + "/kalvio.lock").c_str());
    rmdir(dir.c_str());
}
