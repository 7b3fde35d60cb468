// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/Random.h"

#include <chrono>
#include <random>

namespace kalvio {

namespace {
std::mt19937_64& Generator()
{
    static std::mt19937_64 generator { 0x6b616c76696fULL };
    return generator;
}
}

int32_t Random(int32_t n)
{
    if (n <= 0)
        return 0;
    return int32_t(std::uniform_int_distribution<int32_t>(0, n - 1)(Generator()));
}

void RandomSeed(uint64_t seed)
{
    Generator().seed(seed);
}

void RandomizeFromClock()
{
    RandomSeed(uint64_t(std::chrono::steady_clock::now().time_since_epoch().count())
               ^ uint64_t(std::chrono::system_clock::now().time_since_epoch().count()));
}

}
