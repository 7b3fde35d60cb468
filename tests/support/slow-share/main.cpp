// SPDX-License-Identifier: GPL-3.0-or-later
// kalvio-slow-share AT DELAY_MS COMMAND [ARGS...]
//
// Runs COMMAND with a slow network share at the folder AT: a FUSE share of
// our own (support/DelayedShare.h) that answers every call DELAY_MS after it
// was made, in a mount namespace of this program's own, so only COMMAND and
// what it starts see it. The share holds AT/Photos: an album of 128 pictures
// and, beside it, a chain of 40 nested folders with one picture at its end,
// which a scan can only walk one round trip after the other: at 50 ms a call
// Play's scan shows "128" for several seconds. The pictures are empty files.
//
// Writes COMMAND's process id on a line of its own to the output, waits for
// COMMAND to end and exits with its status; 77 when no share can be mounted
// (root and /dev/fuse are needed), 2 on a wrong call.

#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/DelayedShare.h"

extern char** environ;

namespace {

kalvio::test::DelayedShare::Tree PhotoTree()
{
    kalvio::test::DelayedShare::Tree tree;
    char path[64];
    for (int i = 1; i <= 128; ++i) {
        std::snprintf(path, sizeof path, "Photos/Holiday/IMG_%04d.JPG", i);
        tree.AddFile(path);
    }
    std::string chain = "Photos/Scans";
    for (int level = 1; level <= 40; ++level) {
        std::snprintf(path, sizeof path, "/%d", level);
        chain += path;
    }
    tree.AddFile(chain + "/IMG_0001.JPG");
    return tree;
}

}

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s AT DELAY_MS COMMAND [ARGS...]\n", argv[0]);
        return 2;
    }
    const std::string at = argv[1];
    const auto delay = std::chrono::milliseconds(std::atoi(argv[2]));
    kalvio::test::DelayedShare share(PhotoTree(), delay);
    if (!share.Usable()) {
        std::fprintf(stderr, "%s: no FUSE share: %s\n", argv[0], share.Why().c_str());
        return 77;
    }
    // At the folder asked for, so that the path shown is the same at every run.
    if (mount(share.Path("").c_str(), at.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        std::perror(at.c_str());
        return 77;
    }
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[3], nullptr, nullptr, argv + 3, environ) != 0) {
        std::perror(argv[3]);
        umount2(at.c_str(), MNT_DETACH);
        return 2;
    }
    std::printf("%d\n", int(pid));
    std::fflush(stdout);
    int status = 0;
    waitpid(pid, &status, 0);
    umount2(at.c_str(), MNT_DETACH);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
