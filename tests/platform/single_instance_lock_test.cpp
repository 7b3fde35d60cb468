#include "platform/SingleInstanceLock.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using kalvio::SingleInstanceLock;
using Result = SingleInstanceLock::Result;

namespace {

// Sets an environment variable for the life of the object.
class EnvOverride {
public:
    EnvOverride(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) setenv(name, value->c_str(), 1);
        else unsetenv(name);
    }
    ~EnvOverride() {
        if (old_) setenv(name_, old_->c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// A child process that takes the lock, tells the parent, and waits to be killed.
class LockHolder {
public:
    explicit LockHolder(const std::string& name) {
        int fds[2];
        if (pipe(fds) != 0) throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            SingleInstanceLock lock(name);
            char r = lock.Acquire() == Result::Acquired ? 'y' : 'n';
            (void)!write(fds[1], &r, 1);
            for (;;) pause();
        }
        close(fds[1]);
        char r = 0;
        if (read(fds[0], &r, 1) != 1) r = 0;
        close(fds[0]);
        acquired_ = r == 'y';
    }
    ~LockHolder() { Kill(); }
    bool Acquired() const { return acquired_; }
    void Kill() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    bool acquired_ = false;
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

TEST(SingleInstanceLock, PathFollowsTheRuntimeFolderOrFallsBackToTmp) {
    char tmpl[] = "/tmp/kalvio-lock-dir-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    const std::string fallback = "/tmp/kalvio-" + std::to_string(getuid()) + ".lock";
    const std::string file = dir + "/plain-file";
    FILE* f = fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fclose(f);

    struct Case {
        std::optional<std::string> runtime;
        std::string expected;
    } cases[] = {
        {dir, dir + "/kalvio.lock"},
        {std::nullopt, fallback},
        {"", fallback},
        {"relative/dir", fallback},
        {dir + "/missing", fallback},
        {file, fallback},
    };
    for (const Case& c : cases) {
        EnvOverride env("XDG_RUNTIME_DIR", c.runtime);
        EXPECT_EQ(kalvio::SingleInstanceLockPath("kalvio"), c.expected)
            << "XDG_RUNTIME_DIR=" << c.runtime.value_or("(unset)");
    }
    unlink(file.c_str());
    rmdir(dir.c_str());
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
