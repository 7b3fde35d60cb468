// Folder scan speed: the picture scan of 100,000 files in 1,000 folders, and
// `find DIR -type f` over the same tree in the same run as the baseline.
//
// The tree is built once under /tmp (or $KALVIO_SCAN_BENCH_DIR) and kept for
// later runs; a marker file says it is complete. Both measurements run on a
// warm cache.

#include "catalogue/FolderScan.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int kTopFolders = 10;
constexpr int kFoldersEach = 100;
constexpr int kFilesEach = 100;

void MakeFile(int dir, const char* name)
{
    const int fd = ::openat(dir, name, O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0)
        throw std::runtime_error(std::string("cannot create ") + name);
    ::close(fd);
}

// 10 top folders of 100 folders of 100 files: nine in ten are pictures.
const std::string& BenchTree()
{
    static const std::string root = [] {
        const char* base = std::getenv("KALVIO_SCAN_BENCH_DIR");
        std::string dir = std::string(base ? base : "/tmp") + "/kalvio-scan-bench-tree";
        const std::string marker = dir + "/.complete";
        if (::access(marker.c_str(), F_OK) == 0)
            return dir;
        ::mkdir(dir.c_str(), 0755);
        const int rootFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (rootFd < 0)
            throw std::runtime_error("cannot open " + dir);
        char name[32];
        for (int t = 0; t < kTopFolders; ++t) {
            std::snprintf(name, sizeof name, "Album %02d", t);
            ::mkdirat(rootFd, name, 0755);
            const int top = ::openat(rootFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            for (int f = 0; f < kFoldersEach; ++f) {
                std::snprintf(name, sizeof name, "2024-%02d-%02d trip", f / 28 + 1, f % 28 + 1);
                ::mkdirat(top, name, 0755);
                const int leaf = ::openat(top, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                for (int i = 0; i < kFilesEach; ++i) {
                    std::snprintf(name, sizeof name, i % 10 == 9 ? "notes_%04d.txt" : "IMG_%04d.JPG", i);
                    MakeFile(leaf, name);
                }
                ::close(leaf);
            }
            ::close(top);
        }
        MakeFile(rootFd, ".complete");
        ::close(rootFd);
        return dir;
    }();
    return root;
}

void BM_Scan(benchmark::State& state)
{
    const std::string& root = BenchTree();
    size_t rows = 0;
    for (auto _ : state) {
        std::vector<std::string> list;
        kalvio::ScanPictureFolder(root, list);
        rows = list.size();
        benchmark::DoNotOptimize(list.data());
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.SetItemsProcessed(state.iterations() * kTopFolders * kFoldersEach * kFilesEach);
}
BENCHMARK(BM_Scan)->Unit(benchmark::kMillisecond)->UseRealTime();

// `find DIR -type f > /dev/null`, started without a shell.
void BM_FindBaseline(benchmark::State& state)
{
    const std::string& root = BenchTree();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::string path = root;
    char findName[] = "find";
    char typeFlag[] = "-type";
    char typeValue[] = "f";
    char* argv[] = {findName, path.data(), typeFlag, typeValue, nullptr};
    for (auto _ : state) {
        pid_t pid;
        if (posix_spawnp(&pid, "find", &actions, nullptr, argv, environ) != 0) {
            state.SkipWithError("cannot start find");
            break;
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("find failed");
            break;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    state.SetItemsProcessed(state.iterations() * kTopFolders * kFoldersEach * kFilesEach);
}
BENCHMARK(BM_FindBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

}
