#pragma once

#include <ctime>

namespace kalvio::bench {

// A clock of the process (CLOCK_MONOTONIC, CLOCK_THREAD_CPUTIME_ID, ...) in seconds.
inline double Seconds(clockid_t clock)
{
    timespec t {};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

}
