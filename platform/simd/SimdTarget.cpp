// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/simd/SimdTarget.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include <hwy/highway.h>
#include <hwy/targets.h>

namespace kalvio::simd {

namespace {

// Highway's scalar fallback is slower than our plain code and offers nothing
// the plain code does not: a machine left with it runs the plain code.
constexpr int64_t kNoVector = HWY_SCALAR | HWY_EMU128;

std::once_flag g_configured;
std::atomic<bool> g_plain { false };

int64_t BestOf(int64_t targets)
{
    targets &= HWY_TARGETS;
    return targets & -targets; // lower bits are the better targets
}

// The named target and every worse one (Highway's targets get worse as their
// bit rises): all bits from the named one's up, short of the sign bit, which
// would make the mask read as the refusal (-1 and every negative value).
int64_t FromDown(int64_t target) { return ~(target - 1) & INT64_MAX; }

void Apply(int64_t allowed, bool plain)
{
    hwy::SetSupportedTargetsForTest(allowed);
    hwy::GetChosenTarget().Update(hwy::SupportedTargets());
    g_plain = plain || (BestOf(hwy::SupportedTargets()) & ~kNoVector) == 0;
}

}

int64_t AllowedTargets(const std::string& name)
{
    if (name == "plain")
        return 0;
#if HWY_ARCH_X86
    if (name == "avx512")
        return FromDown(HWY_AVX3_DL);
    if (name == "avx2")
        return FromDown(HWY_AVX2);
    if (name == "sse4")
        return FromDown(HWY_SSE4);
#elif HWY_ARCH_ARM_A64
    if (name == "sve")
        return FromDown(HWY_SVE2_128);
    if (name == "neon")
        return FromDown(HWY_NEON);
#endif
    return -1;
}

Choice Choose(const char* wanted, int64_t supported)
{
    if (wanted == nullptr || *wanted == '\0')
        return { 0, false, {} };
    const int64_t allowed = AllowedTargets(wanted);
    if (allowed < 0)
        return { 0, false,
                 std::string("kalvio: KALVIO_SIMD_TARGET=") + wanted
                     + " is not a vector target of this machine's architecture "
                       "(x86-64: avx512, avx2, sse4, plain; arm64: sve, neon, plain)" };
    if (allowed == 0)
        return { 0, true, {} };
    // The named target itself must be there: a lesser one in its place
    // would give figures under a false name.
    const int64_t named = allowed & -allowed;
    const int64_t has = supported & HWY_TARGETS & allowed;
    const bool present = (has & (named | (named == HWY_AVX3_DL ? HWY_AVX3 : 0) |
                                 (named == HWY_SVE2_128 ? HWY_SVE | HWY_SVE2 | HWY_SVE_256 : 0))) != 0;
    if (!present)
        return { 0, false, std::string("kalvio: KALVIO_SIMD_TARGET=") + wanted + ": this processor cannot run it" };
    return { has, false, {} };
}

void Configure()
{
    std::call_once(g_configured, [] {
        const Choice choice = Choose(std::getenv("KALVIO_SIMD_TARGET"), hwy::SupportedTargets());
        if (!choice.refusal.empty()) {
            std::fprintf(stderr, "%s\n", choice.refusal.c_str());
            std::exit(2);
        }
        Apply(choice.allowed, choice.plain);
    });
}

bool UsePlain()
{
    Configure();
    return g_plain.load(std::memory_order_relaxed);
}

std::string TargetName()
{
    Configure();
    if (UsePlain())
        return "plain";
    return hwy::TargetName(BestOf(hwy::SupportedTargets()));
}

void ForEachTarget(const std::function<void(const std::string& name)>& run)
{
    Configure();
    const int64_t before = hwy::SupportedTargets();
    const bool plainBefore = g_plain;
    for (int64_t left = before & HWY_TARGETS & ~kNoVector; left != 0; left &= left - 1) {
        const int64_t target = left & -left;
        Apply(target, false);
        run(hwy::TargetName(target));
    }
    Apply(before, true);
    run("plain");
    Apply(before, plainBefore);
}

}
