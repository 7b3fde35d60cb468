// SPDX-License-Identifier: GPL-3.0-or-later
#include "slideshow/ThreadJoiner.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>

namespace kalvio {

namespace {

// How long the exit waits for handed threads before it leaves them.
constexpr std::chrono::milliseconds ExitGrace { 500 };

// Shared with the joining thread, which may outlive the joiner at exit.
struct Handed {
    std::mutex mutex;
    std::condition_variable handed;
    std::condition_variable joined;
    std::deque<std::thread> threads;
    bool joining = false;
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
            && handed_->joined.wait_for(lock, ExitGrace,
                                        [this] { return handed_->threads.empty() && !handed_->joining; });
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
                return; // no thread to spare: left to the exit
            }
        }
        handed_->handed.notify_one();
    }

private:
    static void Run(std::shared_ptr<Handed> h)
    {
        std::unique_lock lock(h->mutex);
        for (;;) {
            h->handed.wait(lock, [&] { return h->ending || !h->threads.empty(); });
            if (h->threads.empty())
                return;
            std::thread next = std::move(h->threads.front());
            h->threads.pop_front();
            h->joining = true;
            lock.unlock();
            next.join();
            lock.lock();
            h->joining = false;
            h->joined.notify_all();
        }
    }

    std::shared_ptr<Handed> handed_ = std::make_shared<Handed>();
    std::thread joiner_;
};

}

void JoinInBackground(std::thread thread)
{
    if (!thread.joinable())
        return;
    // Made at the first hand-over, so it is destroyed at exit before anything
    // the handed threads used that was made earlier.
    static ThreadJoiner joiner;
    joiner.Hand(std::move(thread));
}

}
