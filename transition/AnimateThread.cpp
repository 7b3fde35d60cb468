// SPDX-License-Identifier: GPL-3.0-or-later
#include "transition/AnimateThread.h"

#include <chrono>

#include <QMetaObject>

#include "transition/TransitionView.h"

namespace kalvio {

TAnimateThread::TAnimateThread(TTransitionView& view, TickClock& clock)
    : m_view(view)
    , m_clock(clock)
{
}

TAnimateThread::~TAnimateThread()
{
    // The view joins the worker before it lets go of it; this is a last guard.
    Terminate();
    wait();
}

void TAnimateThread::Terminate()
{
    std::lock_guard lock(m_mutex);
    m_terminated = true;
    m_changed.notify_all();
}

void TAnimateThread::run()
{
    while (!m_terminated && !m_view.Manual() && !m_view.Stopping()) {
        const uint32_t t0 = m_clock.Ticks();
        if (!RunFrameOnMain())
            break; // a failed frame ends the loop; the end is handed over as usual
        const uint32_t elapsed = m_clock.Ticks() - t0;
        if (m_view.EndReached()) {
            m_terminated = true;
        } else if (elapsed < m_view.Delay()) {
            std::unique_lock lock(m_mutex);
            m_changed.wait_for(lock, std::chrono::milliseconds(m_view.Delay() - elapsed),
                               [this] { return m_terminated.load(); });
        }
    }
    {
        std::lock_guard lock(m_mutex);
        m_ended = true;
        m_changed.notify_all();
    }
    PostToMain();
}

bool TAnimateThread::RunFrameOnMain()
{
    {
        std::lock_guard lock(m_mutex);
        m_frame = FrameState::Posted;
        m_frameOk = true;
        m_changed.notify_all();
    }
    PostToMain();
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_frame == FrameState::Done; });
    m_frame = FrameState::Idle;
    return m_frameOk;
}

void TAnimateThread::PostToMain()
{
    // The view outlives the worker: its destructor joins it first.
    TTransitionView* view = &m_view;
    QMetaObject::invokeMethod(view, [view] { view->ServeThread(); }, Qt::QueuedConnection);
}

TAnimateThread::Handoff TAnimateThread::TakeLocked()
{
    if (m_frame == FrameState::Posted) {
        m_frame = FrameState::Running;
        return Handoff::Frame;
    }
    if (m_ended && !m_endTaken) {
        m_endTaken = true;
        return Handoff::Ended;
    }
    return Handoff::None;
}

TAnimateThread::Handoff TAnimateThread::TakeHandoff()
{
    std::lock_guard lock(m_mutex);
    return TakeLocked();
}

TAnimateThread::Handoff TAnimateThread::WaitHandoff()
{
    std::unique_lock lock(m_mutex);
    Handoff h = Handoff::None;
    m_changed.wait(lock, [&] { return (h = TakeLocked()) != Handoff::None; });
    return h;
}

void TAnimateThread::FrameDone(bool ok)
{
    std::lock_guard lock(m_mutex);
    if (m_frame != FrameState::Running)
        return;
    m_frame = FrameState::Done;
    m_frameOk = ok;
    m_changed.notify_all();
}

}
