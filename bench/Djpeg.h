#pragma once

// libjpeg-turbo's own djpeg as a yardstick: its processor time for a full
// decode of a file, when it is installed.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace bench {

// One djpeg run per iteration, output to /dev/null. The time is the child's
// CPU time (user + system), comparable to the processor time of the loader's
// benchmarks even on a busy machine; it includes starting the process and
// reading the file.
inline void Djpeg(benchmark::State& state, const std::string& path)
{
    for (auto _ : state) {
        const char* argv[] = { "djpeg", "-dct", "int", "-outfile", "/dev/null", path.c_str(), nullptr };
        pid_t pid;
        if (posix_spawnp(&pid, "djpeg", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
            state.SkipWithError("djpeg could not be started");
            return;
        }
        int status = 0;
        rusage usage {};
        wait4(pid, &status, 0, &usage);
        state.SetIterationTime(double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
                               + 1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec));
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("djpeg failed");
            return;
        }
    }
}

inline bool HaveDjpeg()
{
    static const bool have = std::system("command -v djpeg >/dev/null 2>&1") == 0;
    return have;
}

// BM_Djpeg/file:NAME for `path`, when djpeg is installed.
inline void RegisterDjpeg(const std::string& name, const std::string& path)
{
    if (HaveDjpeg())
        benchmark::RegisterBenchmark(("BM_Djpeg/file:" + name).c_str(), Djpeg, path)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime();
}

}
