// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

#include <QThread>

#include "transition/AnimationTiming.h"

namespace kalvio {

class TTransitionView;

// Paces the frames of one threaded transition. The worker hands each step to
// the main thread and blocks until it has run; when its loop ends it hands over
// its end, whose service on the main thread joins the worker and runs the
// view's FinishTransition. The main thread serves hand-offs from its event loop
// (a queued call) or, while it waits for the worker, straight from WaitHandoff,
// so waiting for the worker never deadlocks.
class TAnimateThread : public QThread {
public:
    enum class Handoff { None, Frame, Ended };

    TAnimateThread(TTransitionView& view, TickClock& clock);
    ~TAnimateThread() override;

    // Asks the loop to end; wakes it from its pause between frames.
    void Terminate();
    bool Terminated() const { return m_terminated.load(); }

    // Main thread: takes the pending hand-off, without waiting / waiting for one.
    Handoff TakeHandoff();
    Handoff WaitHandoff();
    // Main thread: the frame taken last has run (or failed); the worker goes on.
    // Does nothing when no frame is running.
    void FrameDone(bool ok);

protected:
    void run() override;

private:
    enum class FrameState { Idle, Posted, Running, Done };
    bool RunFrameOnMain();
    void PostToMain();
    Handoff TakeLocked();

    TTransitionView& m_view;
    TickClock& m_clock;
    std::atomic<bool> m_terminated { false };
    std::mutex m_mutex;
    std::condition_variable m_changed;
    FrameState m_frame = FrameState::Idle;
    bool m_frameOk = true;
    bool m_ended = false;
    bool m_endTaken = false;
};

}
