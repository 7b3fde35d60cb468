// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace kalvio {

// A thread of its own that runs jobs one after another. Whoever hands it a job
// waits for it only until a deadline: a job stuck in the system (a file on a
// mount that never answers, a pipeline stuck in a state change) holds up this
// thread, never the caller. Let go with a last job, the thread runs it after
// whatever is under way and then ends by itself; nobody ever joins it.
//
// Jobs may run after their caller stopped waiting, so they must own (or share)
// everything they touch.
class JobThread {
public:
    using Clock = std::chrono::steady_clock;

    // Starts the thread; throws std::system_error when none can be made.
    JobThread();
    // Lets go of the thread without a last job.
    ~JobThread();
    JobThread(const JobThread&) = delete;
    JobThread& operator=(const JobThread&) = delete;

    // Queues `job` after the jobs before it and returns at once.
    void Post(std::function<void()> job);
    // Runs `job` after the jobs before it; true when it finished by `deadline`.
    bool Run(std::function<void()> job, Clock::time_point deadline);

    // Run for a job with a result: the result, or nothing when it did not
    // finish by `deadline`. What the job throws is thrown here.
    template <class Job>
    auto Call(Job job, Clock::time_point deadline) -> std::optional<decltype(job())>
    {
        struct Outcome {
            std::optional<decltype(job())> value;
            std::exception_ptr error;
        };
        auto outcome = std::make_shared<Outcome>();
        auto run = [outcome, job = std::move(job)]() mutable {
            try {
                outcome->value.emplace(job());
            } catch (...) {
                outcome->error = std::current_exception();
            }
        };
        if (!Run(std::move(run), deadline))
            return std::nullopt;
        if (outcome->error)
            std::rethrow_exception(outcome->error);
        return std::move(outcome->value);
    }

    // Queues `last`, lets go of the thread and waits for `last` until
    // `deadline`; true when it finished by then. Nothing may be queued after.
    bool Finish(std::function<void()> last, Clock::time_point deadline);

    // Threads of JobThreads in this process that have not ended yet, whether
    // let go or not.
    static int Running();

private:
    struct Queue;
    std::shared_ptr<Queue> queue_;
};

}
