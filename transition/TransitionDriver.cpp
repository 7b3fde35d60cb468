// SPDX-License-Identifier: GPL-3.0-or-later
// The transition driver of the view: Execute prepares the old and new
// pictures, then the frames run in-line (dispatching events between them) or
// are paced by the animation thread, which hands every frame to this thread.
#include "transition/TransitionView.h"

#include "platform/graphics/BitmapDraw.h"
#include "transition/AnimateThread.h"
#include "transition/FrameComposer.h"

namespace kalvio {

namespace {

QThread::Priority QtPriority(TThreadPriority p)
{
    switch (p) {
    case tpIdle: return QThread::IdlePriority;
    case tpLowest: return QThread::LowestPriority;
    case tpLower: return QThread::LowPriority;
    case tpNormal: return QThread::NormalPriority;
    case tpHigher: return QThread::HighPriority;
    case tpHighest: return QThread::HighestPriority;
    case tpTimeCritical: return QThread::TimeCriticalPriority;
    }
    return QThread::NormalPriority;
}

}

void TTransitionView::Execute()
{
    if (Busy() || !m_picture.HasGraphic())
        return;
    m_busy = true;
    try {
        PrepareTransition();
        if (!Manual())
            Animate();
    } catch (...) {
        ReleaseTransitionBitmaps();
        m_busy = false;
        throw;
    }
}

void TTransitionView::PrepareTransition()
{
    ++m_generation;
    m_jumped = false;
    TakeSnapshot(m_picture.Width(), m_picture.Height());
    UpdatePictureRect();
    m_newBitmap = m_picture.Shared();
    SetProgress(Reverse() ? 100 : 0);
}

void TTransitionView::TakeSnapshot(int32_t width, int32_t height)
{
    const Rect client = ClientRect();
    const Pixel colour = Color();
    // What the client area shows: the frame itself, or the buffer as last
    // painted. A buffer of another size was never painted or is stale since a
    // resize: compose it now. Before the first transition, without a
    // background picture, it is the colour alone: no buffer is needed for that.
    const bool frameIsClient = FrameIsClientArea();
    const bool colourOnly = m_frameBitmap.isEmpty() && !(m_bgPicture.HasGraphic() && m_bgMode != bmNone);
    if (colourOnly)
        m_paintBuffer.clear();
    else if (!frameIsClient && (m_paintBuffer.width() != client.width() || m_paintBuffer.height() != client.height()))
        Paint();
    const Bitmap& shown = frameIsClient ? m_frameBitmap : m_paintBuffer;
    FramePlacement next = Placement();
    next.pictureRect = PictureRectFor(width, height, client.width(), client.height(), m_center);
    const Rect source = FrameTarget(next);

    // The last transition's old bitmap lends its memory when the size is the
    // same: a fresh screen-sized bitmap costs milliseconds of page faults at
    // every tick.
    Bitmap old = std::move(m_spareOldBitmap);
    if (old.width() != width || old.height() != height)
        old.clear();

    if (frameIsClient && source == client && Rect { 0, 0, width, height } == client) {
        // The new frame covers the client area pixel for pixel too: the old
        // bitmap takes the frame's pixels as they are, and the frame takes the
        // spare memory, which the start frame overwrites whole.
        if (old.isEmpty())
            old = Bitmap::Unfilled(width, height);
        std::swap(old, m_frameBitmap);
        m_oldBitmap = std::move(old);
        // Without a start frame the frame keeps showing what it showed.
        if (Progress() == (Reverse() ? 100 : 0))
            Draw(m_frameBitmap, 0, 0, *m_oldBitmap);
        return;
    }

    const bool covered = m_stretch && !source.isEmpty() && !shown.isEmpty();
    if (old.isEmpty())
        old = covered ? Bitmap::Unfilled(width, height) : Bitmap(width, height, colour);
    else if (!covered)
        old.fill(colour);
    if (!m_stretch) {
        // Unscaled: frame parts outside the client area keep the colour.
        Draw(old, -source.left, -source.top, shown);
    } else if (covered) {
        StretchCopy(old, old.rect(), shown, source);
    }
    m_oldBitmap = std::move(old);
    m_frameBitmap.resize(width, height, colour);
}

void TTransitionView::SetProgress(int value)
{
    value = value < 0 ? 0 : value > 100 ? 100 : value;
    if (!Busy() || value == Progress())
        return;
    if (value < Progress() && !m_painting)
        InvalidateFrameRect(m_frameBitmap.rect());
    m_progress = uint8_t(value);
    RenderFrame();
    if (OnProgress && !m_destroying)
        OnProgress(this);
}

void TTransitionView::RenderFrame()
{
    if (!m_oldBitmap || !m_newBitmap)
        return;
    CustomDrawHook hook;
    if (OnCustomDraw)
        hook = [this](const Bitmap& picture, Bitmap& screen) { OnCustomDraw(this, picture, screen); };
    const FrameRequest request {
        .OldBitmap = *m_oldBitmap,
        .NewBitmap = *m_newBitmap,
        .FrameBitmap = m_frameBitmap,
        .Style = m_style,
        .Progress = Progress(),
        .Step = m_step,
        .OnCustomDraw = OnCustomDraw ? &hook : nullptr,
    };
    const FrameResult result = kalvio::RenderFrame(request);
    if (!result.composed)
        return;
    // The custom style without a drawer jumps to the end; in a reverse
    // transition that end is not 0, so remember the jump for the end test.
    if (result.Progress != request.Progress)
        m_jumped = true;
    m_progress = result.Progress;
    for (const Rect& r : result.Invalidated)
        InvalidateFrameRect(r);
    if (!m_painting)
        UpdateAtOnce();
}

bool TTransitionView::EndReached() const
{
    return m_jumped || (Reverse() ? Progress() == 0 : Progress() == 100);
}

void TTransitionView::AnimationStep()
{
    const int progress = Progress();
    if (Reverse())
        SetProgress(progress < m_step ? 0 : progress - m_step);
    else
        SetProgress(progress + m_step);
}

void TTransitionView::Animate()
{
    // A thread of this transition still winding down (Manual on, then off again
    // before it noticed) ends before stepping resumes: one thread per view.
    if (m_animateThread) {
        m_animateThread->Terminate();
        WaitForThread(false);
    }
    if (m_threaded)
        StartThread();
    else
        AnimateInline();
}

void TTransitionView::AnimateInline()
{
    const uint32_t generation = m_generation;
    auto running = [&] { return Busy() && !Manual() && !Stopping() && m_generation == generation; };
    bool done = false;
    do {
        const uint32_t t0 = m_clock->Ticks();
        AnimationStep();
        done = EndReached();
        if (done)
            break;
        // Dispatch at least once, then wait for events until more than Delay
        // milliseconds have passed since the step began.
        uint32_t elapsed = m_clock->Ticks() - t0;
        for (;;) {
            const std::weak_ptr<const bool> alive = m_alive;
            m_pump->DispatchEvents(elapsed > Delay() ? 0 : Delay() - elapsed + 1);
            if (alive.expired())
                return; // a handler destroyed the view: touch nothing of it
            elapsed = m_clock->Ticks() - t0;
            if (elapsed > Delay() || !running())
                break;
        }
    } while (running());
    // A handler that stopped this transition (or started another) has already
    // finished it.
    if (done && Busy() && m_generation == generation)
        FinishTransition();
}

void TTransitionView::StartThread()
{
    auto thread = std::make_shared<TAnimateThread>(*this, *m_clock);
    m_animateThread = thread;
    thread->start(QtPriority(m_threadPriority));
}

void TTransitionView::ServeThread()
{
    std::shared_ptr<TAnimateThread> thread = m_animateThread;
    if (!thread)
        return;
    switch (thread->TakeHandoff()) {
    case TAnimateThread::Handoff::Frame:
        RunThreadFrame(thread);
        break;
    case TAnimateThread::Handoff::Ended:
        EndThread(thread, true);
        break;
    case TAnimateThread::Handoff::None:
        break;
    }
}

void TTransitionView::RunThreadFrame(const std::shared_ptr<TAnimateThread>& thread)
{
    if (m_destroying) {
        thread->FrameDone(true);
        return;
    }
    TAnimateThread* outer = std::exchange(m_servingFrame, thread.get());
    bool ok = true;
    try {
        AnimationStep();
    } catch (...) {
        ok = false; // ends the thread's loop; its end finishes the transition
    }
    m_servingFrame = outer;
    thread->FrameDone(ok);
}

void TTransitionView::EndThread(const std::shared_ptr<TAnimateThread>& thread, bool notify)
{
    thread->wait();
    if (m_animateThread == thread)
        m_animateThread.reset();
    if (notify)
        FinishTransition();
}

void TTransitionView::WaitForThread(bool notify)
{
    const std::shared_ptr<TAnimateThread> thread = m_animateThread;
    if (!thread)
        return;
    // Waiting from inside one of its frames: that frame cannot finish before
    // this wait returns, so release the worker now (it is told to terminate).
    if (m_servingFrame == thread.get())
        thread->FrameDone(true);
    for (;;) {
        if (thread->WaitHandoff() == TAnimateThread::Handoff::Ended) {
            EndThread(thread, notify);
            return;
        }
        RunThreadFrame(thread);
    }
}

void TTransitionView::FinishTransition()
{
    if (!Stopping() && Manual())
        return;
    m_busy = false;
    ReleaseTransitionBitmaps();
    if (OnComplete && !m_destroying && !Stopping())
        OnComplete(this);
}

void TTransitionView::ReleaseTransitionBitmaps()
{
    if (m_oldBitmap)
        m_spareOldBitmap = std::move(*m_oldBitmap);
    m_oldBitmap.reset();
    m_newBitmap.reset();
}

void TTransitionView::Stop()
{
    if (!Busy() || Stopping())
        return;
    m_stopping = true;
    try {
        if (m_animateThread) {
            m_animateThread->Terminate();
            WaitForThread(true);
        } else {
            FinishTransition();
        }
    } catch (...) {
        m_stopping = false;
        throw;
    }
    m_stopping = false;
}

void TTransitionView::SetManual(bool on)
{
    if (on == Manual())
        return;
    m_manual = on;
    if (!Busy())
        m_progress = Reverse() ? 100 : 0;
    else if (!on)
        Animate();
}

}
