// SPDX-License-Identifier: GPL-3.0-or-later
// On arm64 the vector kernels run on NEON or SVE: the dispatch takes the best
// of them the processor has, every target it can run is offered to the tests,
// and KALVIO_SIMD_TARGET names them with arm64's words only. Built for arm64
// only (under emulation here: qemu's processor has NEON and SVE2).

#include "platform/simd/SimdTarget.h"
#include "support/EnvOverride.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

using namespace kalvio;

namespace {

const std::set<std::string> kArmTargets = { "NEON", "SVE", "SVE2", "SVE_256", "SVE2_128" };

TEST(Arm64Dispatch, BestTargetIsNeonOrSve)
{
    test::EnvOverride unset("KALVIO_SIMD_TARGET", std::nullopt);
    const std::string name = simd::TargetName();
    std::printf("arm64 vector target: %s\n", name.c_str());
    EXPECT_TRUE(kArmTargets.count(name)) << name;
    EXPECT_FALSE(simd::UsePlain());
}

TEST(Arm64Dispatch, EveryTargetOfferedIsArm64sThenPlain)
{
    std::vector<std::string> names;
    simd::ForEachTarget([&](const std::string& name) { names.push_back(name); });
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names.back(), "plain");
    for (size_t i = 0; i + 1 < names.size(); ++i)
        EXPECT_TRUE(kArmTargets.count(names[i])) << names[i];
    EXPECT_EQ(std::count(names.begin(), names.end(), "NEON"), 1) << "every arm64 processor has NEON";
}

// Each case runs in a program of its own: the dispatch reads the variable
// once per program.
TEST(Arm64Dispatch, NamedTargets)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Case {
        const char* wanted;
        int exitCode;
        const char* says;
    };
    const Case cases[] = {
        { "neon", 0, "chosen: NEON\n" },
        { "plain", 0, "chosen: plain\n" },
        { "avx2", 2, "KALVIO_SIMD_TARGET=avx2 is not a vector target of this machine's architecture" },
        { "avx512", 2, "KALVIO_SIMD_TARGET=avx512 is not a vector target of this machine's architecture" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wanted);
        test::EnvOverride wanted("KALVIO_SIMD_TARGET", c.wanted);
        EXPECT_EXIT(
            {
                const std::string name = simd::TargetName();
                std::fprintf(stderr, "chosen: %s\n", name.c_str());
                std::exit(0);
            },
            ::testing::ExitedWithCode(c.exitCode), c.says);
    }
}

}
