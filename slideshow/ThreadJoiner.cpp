// SPDX-License-Identifier: GPL-3.0-or-later
#include "slideshow/ThreadJoiner.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <vector>

#include <pthread.h>

namespace kalvio {

namespace {

// How long the exit waits for handed threads before it leaves them.
constexpr std::chrono::milliseconds ExitGrace { 500 };
// The system has no wait for the first of several threads to end: the ones
// still running are looked at again after a pause that starts short (most
// end at once) and grows, so a thread stuck for hours costs a look a second.
constexpr std::chrono::milliseconds FirstLook { 5 };
constexpr std::chrono::milliseconds LongestPause { 1000 };
// During the exit's grace a thread that ends is joined at once, or nearly.
constexpr std::chrono::milliseconds LongestPauseAtExit { 10 };

// Joins `thread` if it has ended. The handle is joined directly, so the
// object is then made an empty one in place: its destructor would only
// release what the join released.
bool JoinIfEnded(std::thread& thread)
{
    if (pthread_tryjoin_np(thread.native_handle(), nullptr) != 0)
        return false;
    new (&thread) std::thread();
    return true;
}

// Shared with the joining thread, which may outlive the joiner at exit.
struct Handed {
    std::mutex mutex;
    std::condition_variable handed;
    std::condition_variable joined;
    std::vector<std::thread> threads; // running when last looked at
    bool ending = false;
};

class ThreadJoiner {
public:
    ~ThreadJoiner()
    {
        std::unique_lock lock(handed_->mutex);
        handed_->ending = true;
        handed_->handed.notify_one();
        const bool allJoined = joiner_.joinable()
            && handed_->joined.wait_for(lock, ExitGrace, [this] { return handed_->threads.empty(); });
        lock.unlock();
        if (allJoined) {
            joiner_.join();
            return;
        }
        // Stuck in a call that may never return: the joining thread keeps
        // what it needs, and the process's exit ends them all.
        if (joiner_.joinable())
            joiner_.detach();
        else
            for (std::thread& t : handed_->threads) // handed over while no joiner ran
                t.detach();
    }

    void Hand(std::thread thread)
    {
        std::lock_guard lock(handed_->mutex);
        handed_->threads.push_back(std::move(thread));
        if (!joiner_.joinable()) {
            try {
                joiner_ = std::thread(Run, handed_);
            } catch (const std::system_error&) {
                return; // no thread to spare: joined by a later hand-over's joiner, or left to the exit
            }
        }
        handed_->handed.notify_one();
    }

    size_t Waiting()
    {
        std::lock_guard lock(handed_->mutex);
        return handed_->threads.size();
    }

    bool AwaitWaiting(size_t count, std::chrono::milliseconds limit)
    {
        std::unique_lock lock(handed_->mutex);
        return handed_->joined.wait_for(lock, limit, [&] { return handed_->threads.size() == count; });
    }

private:
    static void Run(std::shared_ptr<Handed> h)
    {
        std::unique_lock lock(h->mutex);
        auto pause = FirstLook;
        for (;;) {
            // A join of an ended thread returns at once: done under the lock.
            std::erase_if(h->threads, JoinIfEnded);
            h->joined.notify_all();
            if (h->ending && h->threads.empty())
                return;
            const size_t running = h->threads.size();
            const bool ending = h->ending;
            auto changed = [&] { return h->ending != ending || h->threads.size() != running; };
            if (running == 0) {
                h->handed.wait(lock, changed);
                pause = FirstLook;
            } else if (h->handed.wait_for(lock, pause, changed)) {
                pause = FirstLook; // a new thread, or the exit: look again soon
            } else {
                pause = std::min(pause * 2, h->ending ? LongestPauseAtExit : LongestPause);
            }
        }
    }

    std::shared_ptr<Handed> handed_ = std::make_shared<Handed>();
    std::thread joiner_;
};

ThreadJoiner& Joiner()
{
    // Made at the first use, so it is destroyed at exit before anything the
    // handed threads used that was made earlier.
    static ThreadJoiner joiner;
    return joiner;
}

}

void JoinInBackground(std::thread thread)
{
    if (!thread.joinable())
        return;
    Joiner().Hand(std::move(thread));
}

size_t ThreadsAwaitingJoin()
{
    return Joiner().Waiting();
}

bool AwaitThreadsAwaitingJoin(size_t count, std::chrono::milliseconds limit)
{
    return Joiner().AwaitWaiting(count, limit);
}

}
