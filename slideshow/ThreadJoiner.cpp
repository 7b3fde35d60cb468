// SPDX-License-Identifier: GPL-3.0-or-later
#include "slideshow/ThreadJoiner.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>

namespace kalvio {

namespace {

class ThreadJoiner {
public:
    ~ThreadJoiner()
    {
        {
            std::lock_guard lock(mutex_);
            ending_ = true;
        }
        handed_.notify_one();
        if (joiner_.joinable())
            joiner_.join();
        for (std::thread& t : threads_) // handed over while no joiner ran
            t.join();
    }

    void Hand(std::thread thread)
    {
        std::lock_guard lock(mutex_);
        threads_.push_back(std::move(thread));
        if (!joiner_.joinable()) {
            try {
                joiner_ = std::thread([this] { Run(); });
            } catch (const std::system_error&) {
                // No thread to spare: the handed threads are joined at exit.
                return;
            }
        }
        handed_.notify_one();
    }

private:
    void Run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            handed_.wait(lock, [this] { return ending_ || !threads_.empty(); });
            if (threads_.empty())
                return;
            std::thread next = std::move(threads_.front());
            threads_.pop_front();
            lock.unlock();
            next.join();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable handed_;
    std::deque<std::thread> threads_;
    bool ending_ = false;
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
