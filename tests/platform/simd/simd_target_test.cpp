// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/simd/SimdTarget.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <hwy/targets.h>

using namespace kalvio;

namespace {

// The names of both architectures; those of the other one are refused here.
const char* const kVectorNames[] = { "avx512", "avx2", "sse4", "sve", "neon" };

bool OfThisArchitecture(const char* name) { return simd::AllowedTargets(name) > 0; }

// Runs `body` in a fresh child process (the dispatch is set once per
// process) with KALVIO_SIMD_TARGET set to `value`.
#define EXPECT_CHILD_EXIT(value, body, code, message) \
    do { \
        GTEST_FLAG_SET(death_test_style, "threadsafe"); \
        EXPECT_EXIT( \
            { \
                setenv("KALVIO_SIMD_TARGET", value, 1); \
                body; \
            }, \
            ::testing::ExitedWithCode(code), message); \
    } while (false)

}

TEST(SimdTarget, NamesMapToTheirArchitecturesTargets)
{
    EXPECT_EQ(simd::AllowedTargets("plain"), 0);
    for (const char* unknown : { "", "AVX2", "avx", "avx2 ", "neon2", "scalar", "best" })
        EXPECT_EQ(simd::AllowedTargets(unknown), -1) << '"' << unknown << '"';
    // Each name of this architecture allows itself and every lesser target, so
    // a better name allows more; the other architecture's names are refused.
    int ours = 0;
    int64_t previous = 0;
    for (const char* name : kVectorNames) {
        const int64_t allowed = simd::AllowedTargets(name);
        if (!OfThisArchitecture(name)) {
            EXPECT_EQ(allowed, -1) << name;
            continue;
        }
        ++ours;
        if (previous != 0) {
            EXPECT_EQ(previous & allowed, allowed) << name << " allows a target the better name before it does not";
            EXPECT_NE(previous, allowed) << name << " allows as much as the better name before it";
        }
        previous = allowed;
    }
    EXPECT_GE(ours, 2) << "this architecture has no vector names";
}

TEST(SimdTarget, ChoiceRefusesUnknownNamesAndTargetsTheProcessorLacks)
{
    const int64_t supported = hwy::SupportedTargets();
    EXPECT_EQ(simd::Choose(nullptr, supported).refusal, "");
    EXPECT_FALSE(simd::Choose(nullptr, supported).plain);
    EXPECT_FALSE(simd::Choose("", supported).plain);
    EXPECT_TRUE(simd::Choose("plain", supported).plain);
    EXPECT_TRUE(simd::Choose("plain", HWY_SCALAR).plain) << "the plain code runs everywhere";

    const simd::Choice unknown = simd::Choose("avx9", supported);
    EXPECT_NE(unknown.refusal.find("KALVIO_SIMD_TARGET=avx9 is not a vector target"), std::string::npos)
        << unknown.refusal;
    EXPECT_NE(unknown.refusal.find("avx512, avx2, sse4, plain"), std::string::npos) << "the message lists the names";

    // Each name against a processor that has only the next lesser name's
    // targets, or no vector target at all.
    const std::pair<const char*, const char*> lesser[] = { { "avx512", "avx2" }, { "avx2", "sse4" }, { "sve", "neon" } };
    for (const auto& [name, below] : lesser) {
        if (!OfThisArchitecture(name))
            continue;
        for (int64_t has : { simd::AllowedTargets(below), int64_t(HWY_SCALAR) }) {
            const simd::Choice c = simd::Choose(name, has);
            EXPECT_NE(c.refusal.find(std::string("KALVIO_SIMD_TARGET=") + name + ": this processor cannot run it"),
                      std::string::npos)
                << name << ": " << c.refusal;
        }
        // With its own targets the name is taken, and allows nothing better.
        const simd::Choice taken = simd::Choose(name, simd::AllowedTargets(name));
        EXPECT_EQ(taken.refusal, "") << name;
        EXPECT_FALSE(taken.plain) << name;
        EXPECT_NE(taken.allowed, 0) << name;
        EXPECT_EQ(taken.allowed & ~simd::AllowedTargets(name), 0) << name;
    }
}

TEST(SimdTarget, PlainFromTheEnvironmentRunsThePlainCode)
{
    EXPECT_CHILD_EXIT("plain", std::exit(simd::UsePlain() && simd::TargetName() == "plain" ? 0 : 1), 0, "");
}

TEST(SimdTarget, UnknownOrForeignNameEndsTheProgramWithAMessage)
{
    EXPECT_CHILD_EXIT("avx9", simd::Configure(), 2, "KALVIO_SIMD_TARGET=avx9 is not a vector target");
    for (const char* name : kVectorNames)
        if (!OfThisArchitecture(name))
            EXPECT_CHILD_EXIT(name, simd::UsePlain(), 2, std::string("KALVIO_SIMD_TARGET=") + name + " is not");
}

TEST(SimdTarget, BestNameOfTheProcessorIsTakenUnderItsOwnName)
{
    // The best name this processor has: the first of the list it can run.
    for (const char* name : kVectorNames) {
        if (!OfThisArchitecture(name) || !simd::Choose(name, hwy::SupportedTargets()).refusal.empty())
            continue;
        EXPECT_CHILD_EXIT(name, std::exit(!simd::UsePlain() && simd::TargetName() != "plain" ? 0 : 1), 0, "");
        break;
    }
}

TEST(SimdTarget, ForEachTargetVisitsTheBestTargetAndThePlainCodeThenRestores)
{
    const std::string best = simd::TargetName();
    const bool plainBefore = simd::UsePlain();
    std::vector<std::string> visited;
    simd::ForEachTarget([&](const std::string& name) {
        visited.push_back(name);
        EXPECT_EQ(simd::TargetName(), name);
        EXPECT_EQ(simd::UsePlain(), name == "plain") << name;
    });
    ASSERT_FALSE(visited.empty());
    EXPECT_EQ(visited.back(), "plain");
    EXPECT_EQ(visited.front(), best) << "the first target visited is the one in use";
    EXPECT_EQ(simd::TargetName(), best);
    EXPECT_EQ(simd::UsePlain(), plainBefore);
}
