// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/JobThread.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace kalvio {

namespace {

std::atomic<int> running { 0 };

}

// Shared by the owner and the thread, so that a thread let go keeps it alive.
struct JobThread::Queue {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::function<void()>> jobs;
    unsigned long long queued = 0;
    unsigned long long done = 0;
    bool letGo = false;

    unsigned long long Push(std::function<void()> job)
    {
        std::lock_guard lock(mutex);
        jobs.push_back(std::move(job));
        changed.notify_all();
        return ++queued;
    }

    bool WaitFor(unsigned long long ticket, Clock::time_point deadline)
    {
        std::unique_lock lock(mutex);
        return changed.wait_until(lock, deadline, [&] { return done >= ticket; });
    }

    static void Serve(std::shared_ptr<Queue> q)
    {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(q->mutex);
                q->changed.wait(lock, [&] { return !q->jobs.empty() || q->letGo; });
                if (q->jobs.empty())
                    break;
                job = std::move(q->jobs.front());
                q->jobs.pop_front();
            }
            try {
                job();
            } catch (...) {
                // Nobody is left to hear of it; the next job still runs.
            }
            // What the job held is released here, on this thread, too.
            job = nullptr;
            std::lock_guard lock(q->mutex);
            ++q->done;
            q->changed.notify_all();
        }
        q.reset();
        --running;
    }
};

JobThread::JobThread() : queue_(std::make_shared<Queue>())
{
    ++running;
    try {
        std::thread(&Queue::Serve, queue_).detach();
    } catch (...) {
        --running;
        throw;
    }
}

JobThread::~JobThread()
{
    if (!queue_)
        return;
    std::lock_guard lock(queue_->mutex);
    queue_->letGo = true;
    queue_->changed.notify_all();
}

void JobThread::Post(std::function<void()> job)
{
    queue_->Push(std::move(job));
}

bool JobThread::Run(std::function<void()> job, Clock::time_point deadline)
{
    return queue_->WaitFor(queue_->Push(std::move(job)), deadline);
}

bool JobThread::Finish(std::function<void()> last, Clock::time_point deadline)
{
    std::shared_ptr<Queue> q = std::move(queue_);
    unsigned long long ticket;
    {
        std::lock_guard lock(q->mutex);
        q->jobs.push_back(std::move(last));
        q->letGo = true;
        q->changed.notify_all();
        ticket = ++q->queued;
    }
    return q->WaitFor(ticket, deadline);
}

int JobThread::Running()
{
    return running.load();
}

}
