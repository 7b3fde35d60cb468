// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "slideshow/ThreadJoiner.h"

using namespace kalvio;

namespace {

// The outer limit of a wait: only a hang reaches it.
constexpr auto kHang = std::chrono::seconds(120);

// Waits until the joiner has `count` threads left to join.
bool AwaitingBecomes(size_t count)
{
    return AwaitThreadsAwaitingJoin(count, kHang);
}

// Threads handed over in the order of `pattern`: 'S' one stuck until the
// test lets it go (as in a call on a dead share), '.' one that ends at once.
// Every ended thread is joined whatever was handed before it; the stuck ones
// are joined once they end.
TEST(ThreadJoiner, JoinsWhicheverEndedNeverHeldByAStuckOne)
{
    for (const std::string pattern : { "S........", "...S....S...", "SSS.", ".", "S" }) {
        SCOPED_TRACE(pattern);
        ASSERT_TRUE(AwaitingBecomes(0));
        std::promise<void> release;
        const std::shared_future<void> released = release.get_future().share();
        for (const char kind : pattern) {
            if (kind == 'S')
                JoinInBackground(std::thread([released] { released.wait(); }));
            else
                JoinInBackground(std::thread([] { }));
        }
        const size_t stuck = size_t(std::count(pattern.begin(), pattern.end(), 'S'));
        EXPECT_TRUE(AwaitingBecomes(stuck)) << ThreadsAwaitingJoin() << " left to join";
        release.set_value();
        EXPECT_TRUE(AwaitingBecomes(0)) << ThreadsAwaitingJoin() << " left to join";
    }
}

// A thread handed over while still at work is joined when it ends, and an
// empty thread object is no thread to join.
TEST(ThreadJoiner, LaterEndAndEmptyObject)
{
    ASSERT_TRUE(AwaitingBecomes(0));
    JoinInBackground(std::thread());
    EXPECT_EQ(ThreadsAwaitingJoin(), 0u);
    std::promise<void> go;
    std::thread worker([started = go.get_future()]() mutable { started.wait(); });
    JoinInBackground(std::move(worker));
    EXPECT_EQ(ThreadsAwaitingJoin(), 1u);
    go.set_value();
    EXPECT_TRUE(AwaitingBecomes(0));
}

}
