// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The vector code the picture and graphics kernels run. Each kernel is
// written once with Highway and compiled for every instruction set of the
// architecture; at run time the best the processor has is taken, unless
// KALVIO_SIMD_TARGET names a lesser one (avx512, avx2, sse4, neon, sve or
// plain). "plain" runs the plain C++ code, which is also the reference the
// vector code must equal bit for bit.

#include <cstdint>
#include <functional>
#include <string>

namespace kalvio::simd {

// Reads KALVIO_SIMD_TARGET and sets the dispatch. Idempotent; every query
// below calls it, so a program need not. A name the processor cannot run,
// or an unknown one, ends the program with a message saying so: a benchmark
// or a test must never measure another target than the one it asked for.
void Configure();

// True when the plain C++ code is to run: asked for, or the processor has no
// vector target the kernels are compiled for.
bool UsePlain();

// The target in use, for logs: "AVX3_DL", "AVX2", "NEON", ..., or "plain".
std::string TargetName();

// Calls `run` once for each target this machine can execute (the plain code
// included), with the dispatch set to it and its name passed; then restores
// the dispatch. For tests that hold every target to the plain code.
void ForEachTarget(const std::function<void(const std::string& name)>& run);

// What KALVIO_SIMD_TARGET = `wanted` (null or empty: unset) selects on a
// processor that runs the Highway targets `supported`: the targets to allow
// (0: all the processor has), whether the plain code runs, or why the name is
// refused (an unknown name, one of another architecture, or a target the
// processor lacks). Configure() applies it.
struct Choice {
    int64_t allowed = 0;
    bool plain = false;
    std::string refusal;
};
Choice Choose(const char* wanted, int64_t supported);

// The allowed targets for a name of KALVIO_SIMD_TARGET: the named one and
// every lesser one of its architecture. 0 for "plain"; -1 for an unknown
// name or one of another architecture.
int64_t AllowedTargets(const std::string& name);

}
