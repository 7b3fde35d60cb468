// SPDX-License-Identifier: GPL-3.0-or-later
// Folder scan speed: the picture scan of 100,000 files in 1,000 folders, the
// scan of both show lists from it, and `find DIR -type f` over the same tree
// in the same run as the baseline.
// Then the costs of hostile trees: links that reach folders many times, a
// chain deeper than the common descriptor limit, and names that make paths
// longer than the system takes.
//
// The trees are built once under /tmp (or $KALVIO_SCAN_BENCH_DIR) and kept for
// later runs; a marker file says a tree is complete. All measurements run on a
// warm cache.

#include "catalogue/FolderScan.h"
#include "catalogue/ShowScan.h"
#include "fixtures/RunQuietly.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Makes folder `name` in `parent` and opens it.
int MakeFolder(int parent, const char* name)
{
    ::mkdirat(parent, name, 0755);
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error(std::string("cannot make folder ") + name);
    return fd;
}

// The tree `name` under the bench folder, made by `make` (given the open
// tree folder) unless an earlier run completed it.
template <typename Make>
std::string PreparedTree(const std::string& name, Make make)
{
    const char* base = std::getenv("KALVIO_SCAN_BENCH_DIR");
    const std::string dir = std::string(base ? base : "/tmp") + "/" + name;
    if (::access((dir + "/.complete").c_str(), F_OK) == 0)
        return dir;
    ::mkdir(dir.c_str(), 0755);
    const int rootFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0)
        throw std::runtime_error("cannot open " + dir);
    make(rootFd);
    MakeFile(rootFd, ".complete");
    ::close(rootFd);
    return dir;
}

// 10 top folders of 100 folders of 100 files: nine in ten are pictures.
const std::string& BenchTree()
{
    static const std::string root = PreparedTree("kalvio-scan-bench-tree", [](int rootFd) {
        char name[32];
        for (int t = 0; t < kTopFolders; ++t) {
            std::snprintf(name, sizeof name, "Album %02d", t);
            const int top = MakeFolder(rootFd, name);
            for (int f = 0; f < kFoldersEach; ++f) {
                std::snprintf(name, sizeof name, "2024-%02d-%02d trip", f / 28 + 1, f % 28 + 1);
                const int leaf = MakeFolder(top, name);
                for (int i = 0; i < kFilesEach; ++i) {
                    std::snprintf(name, sizeof name, i % 10 == 9 ? "notes_%04d.txt" : "IMG_%04d.JPG", i);
                    MakeFile(leaf, name);
                }
                ::close(leaf);
            }
            ::close(top);
        }
    });
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

// Both of Play's lists from the same tree (the music folder is the picture
// folder, as by default): one walk, its folders read by a pool of threads.
void BM_ShowScan(benchmark::State& state)
{
    const std::string& root = BenchTree();
    size_t rows = 0;
    for (auto _ : state) {
        const kalvio::ShowScanResult result = kalvio::ScanShowFolders(root, root);
        rows = result.pictures.size() + result.music.size();
        benchmark::DoNotOptimize(result.pictures.data());
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.SetItemsProcessed(state.iterations() * kTopFolders * kFoldersEach * kFilesEach);
}
BENCHMARK(BM_ShowScan)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same two lists as Play made them before: the picture scan, then the
// music scan of the same folder.
void BM_SequentialShowScans(benchmark::State& state)
{
    const std::string& root = BenchTree();
    for (auto _ : state) {
        std::vector<std::string> pictures, music;
        kalvio::ScanPictureFolder(root, pictures);
        kalvio::ScanMusicFolder(root, music);
        benchmark::DoNotOptimize(pictures.data());
    }
    state.SetItemsProcessed(state.iterations() * kTopFolders * kFoldersEach * kFilesEach);
}
BENCHMARK(BM_SequentialShowScans)->Unit(benchmark::kMillisecond)->UseRealTime();

// `find DIR -type f > /dev/null`, started without a shell.
void BM_FindBaseline(benchmark::State& state)
{
    const std::string& root = BenchTree();
    for (auto _ : state) {
        if (!kalvio::bench::RunQuietly({"find", root, "-type", "f"})) {
            state.SkipWithError("find failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kTopFolders * kFoldersEach * kFilesEach);
}
BENCHMARK(BM_FindBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- Hostile trees ----

// What one scan in a child process gave.
struct ChildScan {
    uint64_t rows = 0;
    uint64_t pathBytes = 0; // text of all rows
    int errorCode = 0;      // of the InOutError it ended with, 0 for none
    double startMegabytes = 0; // resident memory before the scan
    double peakMegabytes = 0;  // and at its peak
    double seconds = 0;        // wall time of the scan
};

// This process's resident memory.
double ResidentMegabytes()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(::sysconf(_SC_PAGESIZE)) / 1e6;
}

// Scans `root` in a forked child, so a scan that grows to gigabytes or runs
// for minutes is measured on its own and stopped after `timeoutSeconds`; the
// child's descriptor limit is `fileLimit` when given. Reports the wall time,
// the rows, the error and how far the scan raised the child's peak resident
// memory (peak_mb; at the stop when timed out).
void ScanInChild(benchmark::State& state, const std::string& root, unsigned timeoutSeconds, rlim_t fileLimit = 0)
{
    for (auto _ : state) {
        int fds[2];
        if (::pipe(fds) != 0) {
            state.SkipWithError("pipe failed");
            return;
        }
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            ::alarm(timeoutSeconds);
            if (fileLimit) {
                struct rlimit rl;
                ::getrlimit(RLIMIT_NOFILE, &rl);
                rl.rlim_cur = fileLimit;
                ::setrlimit(RLIMIT_NOFILE, &rl);
            }
            ChildScan result;
            result.startMegabytes = ResidentMegabytes();
            std::vector<std::string> list;
            const auto scanStart = std::chrono::steady_clock::now();
            try {
                kalvio::ScanPictureFolder(root, list);
            } catch (const kalvio::InOutError& e) {
                result.errorCode = e.Code();
            }
            result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - scanStart).count();
            result.rows = list.size();
            for (const std::string& row : list)
                result.pathBytes += row.size();
            struct rusage usage {};
            ::getrusage(RUSAGE_SELF, &usage);
            result.peakMegabytes = double(usage.ru_maxrss) * 1024 / 1e6;
            [[maybe_unused]] const ssize_t written = ::write(fds[1], &result, sizeof result);
            ::_exit(0);
        }
        ::close(fds[1]);
        ChildScan result;
        const bool reported = ::read(fds[0], &result, sizeof result) == ssize_t(sizeof result);
        ::close(fds[0]);
        int status = 0;
        struct rusage usage {};
        ::wait4(pid, &status, 0, &usage);
        if (!reported) // stopped: its peak so far
            result.peakMegabytes = double(usage.ru_maxrss) * 1024 / 1e6;
        state.SetIterationTime(reported ? result.seconds
                                        : std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        state.counters["timed_out"] = WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM;
        state.counters["rows"] = reported ? double(result.rows) : -1;
        state.counters["path_mb"] = reported ? double(result.pathBytes) / 1e6 : -1;
        state.counters["error_code"] = reported ? result.errorCode : -1;
        state.counters["peak_mb"] = result.peakMegabytes - (reported ? result.startMegabytes : ResidentMegabytes());
    }
}

// `folders` folders side by side, each with a picture and two links to the
// next: a scan that enters a folder once per path lists 2^folders paths.
void BM_LinkLattice(benchmark::State& state)
{
    const int folders = int(state.range(0));
    const std::string root = PreparedTree("kalvio-scan-bench-lattice-" + std::to_string(folders), [&](int rootFd) {
        char name[16], next[16];
        for (int i = 0; i < folders; ++i) {
            std::snprintf(name, sizeof name, "d%02d", i);
            const int dir = MakeFolder(rootFd, name);
            MakeFile(dir, "p.jpg");
            if (i + 1 < folders) {
                std::snprintf(next, sizeof next, "../d%02d", i + 1);
                ::symlinkat(next, dir, "a");
                ::symlinkat(next, dir, "b");
            }
            ::close(dir);
        }
    });
    ScanInChild(state, root, 120);
}
BENCHMARK(BM_LinkLattice)->ArgName("folders")->Arg(20)->Arg(22)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// A chain of 1,100 folders, a picture in each, scanned under the common limit
// of 1,024 descriptors.
void BM_DeepChain(benchmark::State& state)
{
    const std::string root = PreparedTree("kalvio-scan-bench-chain", [](int rootFd) {
        int dir = ::dup(rootFd);
        for (int i = 0; i < 1100; ++i) {
            const int sub = MakeFolder(dir, "d");
            ::close(dir);
            dir = sub;
            MakeFile(dir, "p.jpg");
        }
        ::close(dir);
    });
    ScanInChild(state, root, 60, 1024);
}
BENCHMARK(BM_DeepChain)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// 1,000 nested folders with 250-character names and two empty pictures in
// each: every path below the 16th level is longer than PATH_MAX.
void BM_LongNameChain(benchmark::State& state)
{
    const std::string root = PreparedTree("kalvio-scan-bench-long-names", [](int rootFd) {
        const std::string part(250, 'n');
        int dir = ::dup(rootFd);
        for (int i = 0; i < 1000; ++i) {
            const int sub = MakeFolder(dir, part.c_str());
            ::close(dir);
            dir = sub;
            MakeFile(dir, "a.jpg");
            MakeFile(dir, "b.jpg");
        }
        ::close(dir);
    });
    ScanInChild(state, root, 60);
}
BENCHMARK(BM_LongNameChain)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}
