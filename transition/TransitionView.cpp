#include "transition/TransitionView.h"

#include <QCoreApplication>
#include <QEnterEvent>
#include <QEventLoop>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QTimer>

#include "platform/BitmapDraw.h"
#include "transition/AnimateThread.h"
#include "transition/FrameComposer.h"

namespace kalvio {

namespace {

// Dispatches the application's events; waits for them with a precise timer at
// the deadline instead of polling.
class QtEventPump final : public EventPump {
public:
    void DispatchEvents(uint32_t waitMs) override
    {
        if (waitMs == 0) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            return;
        }
        QTimer deadline;
        deadline.setSingleShot(true);
        deadline.setTimerType(Qt::PreciseTimer);
        deadline.start(int(waitMs));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
};

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

QRect ToQRect(const Rect& r)
{
    return QRect(r.left, r.top, r.width(), r.height());
}

}

TTransitionView::TTransitionView(QWidget* parent)
    : QWidget(parent)
    , m_marked(std::make_unique<QRegion>())
    , m_clock(&SteadyTickClock::Instance())
    , m_defaultPump(std::make_unique<QtEventPump>())
{
    m_pump = m_defaultPump.get();
    // All drawing happens in Paint, over the whole area: nothing is erased first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
    m_picture.OnChange = [this] { PictureChanged(); };
    m_bgPicture.OnChange = [this] { BackgroundChanged(); };
    resize(100, 100);
}

TTransitionView::~TTransitionView()
{
    m_destroying = true;
    if (m_animateThread) {
        m_animateThread->Terminate();
        WaitForThread(true);
    }
    m_picture.OnChange = nullptr;
    m_bgPicture.OnChange = nullptr;
    if (m_align == alClient && parentWidget())
        parentWidget()->removeEventFilter(this);
}

void TTransitionView::SetTiming(TickClock* clock, EventPump* pump)
{
    m_clock = clock ? clock : &SteadyTickClock::Instance();
    m_pump = pump ? pump : m_defaultPump.get();
}

// Properties ------------------------------------------------------------------

void TTransitionView::SetAlign(TAlign align)
{
    if (align == m_align)
        return;
    QWidget* parent = parentWidget();
    if (parent && m_align == alClient)
        parent->removeEventFilter(this);
    m_align = align;
    if (parent && m_align == alClient) {
        parent->installEventFilter(this);
        FillParent();
    }
}

void TTransitionView::FillParent()
{
    if (QWidget* parent = parentWidget())
        setGeometry(parent->contentsRect());
}

bool TTransitionView::eventFilter(QObject* watched, QEvent* event)
{
    if (m_align == alClient && watched == parentWidget() && event->type() == QEvent::Resize)
        FillParent();
    return QWidget::eventFilter(watched, event);
}

void TTransitionView::SetAutoSize(bool on)
{
    if (on == m_autoSize)
        return;
    m_autoSize = on;
    if (on)
        FitClientSizeToPicture();
}

void TTransitionView::SetBgMode(TBackgroundMode mode)
{
    if (mode == m_bgMode)
        return;
    m_bgMode = mode;
    if (m_bgPicture.HasGraphic() && !m_painting)
        InvalidateWhole();
}

void TTransitionView::SetBgPicture(const PictureHolder* picture)
{
    if (picture)
        m_bgPicture.Assign(*picture);
    else
        m_bgPicture.Clear();
}

void TTransitionView::SetPicture(const PictureHolder* picture)
{
    if (picture)
        m_picture.Assign(*picture);
    else
        m_picture.Clear();
}

void TTransitionView::SetCenter(bool on)
{
    if (on == m_center)
        return;
    m_center = on;
    if (m_picture.HasGraphic()) {
        UpdatePictureRect();
        if (!m_frameBitmap.isEmpty() && !m_painting)
            InvalidateWhole();
    }
}

Pixel TTransitionView::Color() const
{
    return m_color ? *m_color : Pixel(palette().color(QPalette::Window).rgb() | 0xff000000u);
}

void TTransitionView::SetColor(Pixel colour)
{
    colour |= 0xff000000u;
    if (m_color == colour)
        return;
    m_color = colour;
    if (!m_painting)
        InvalidateWhole();
}

void TTransitionView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // Without a colour of its own the view follows the palette, hence its parent.
    if (event->type() == QEvent::PaletteChange && !m_color && !m_painting)
        InvalidateWhole();
}

void TTransitionView::SetStretch(bool on)
{
    if (on == m_stretch)
        return;
    m_stretch = on;
    if (!m_frameBitmap.isEmpty() && !m_painting)
        InvalidateWhole();
}

void TTransitionView::SetStretchFine(bool on)
{
    if (on == m_stretchFine)
        return;
    m_stretchFine = on;
    if (!m_frameBitmap.isEmpty() && !m_painting)
        InvalidateWhole();
}

void TTransitionView::SetStep(uint16_t step)
{
    m_step = step == 0 ? 1 : step > 100 ? 100 : step;
}

// Notifications and geometry --------------------------------------------------

void TTransitionView::PictureChanged()
{
    if (m_destroying)
        return;
    if (m_picture.HasGraphic() && m_autoSize)
        FitClientSizeToPicture();
    if (OnChange)
        OnChange(this);
}

void TTransitionView::BackgroundChanged()
{
    if (m_bgMode != bmNone && !m_painting)
        InvalidateWhole();
}

void TTransitionView::FitClientSizeToPicture()
{
    if (!m_picture.HasGraphic() || m_align != alNone)
        return;
    resize(m_picture.Width(), height());
    resize(width(), m_picture.Height());
}

void TTransitionView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    SizeChanged();
}

void TTransitionView::SizeChanged()
{
    if (!m_picture.HasGraphic())
        return;
    UpdatePictureRect();
    if (!m_frameBitmap.isEmpty() && !m_painting)
        InvalidateWhole();
}

void TTransitionView::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    if (OnMouseEnter)
        OnMouseEnter(this);
}

void TTransitionView::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    if (OnMouseLeave)
        OnMouseLeave(this);
}

FramePlacement TTransitionView::Placement() const
{
    return { m_pictureRect, ClientRect(), m_stretch, m_stretchFine, m_center };
}

void TTransitionView::UpdatePictureRect()
{
    if (m_frameBitmap.isEmpty())
        return;
    m_pictureRect = PictureRectFor(m_frameBitmap.width(), m_frameBitmap.height(), width(), height(), m_center);
}

void TTransitionView::InvalidateWhole()
{
    if (!m_destroying)
        update();
}

void TTransitionView::InvalidateFrameRect(const Rect& r)
{
    if (m_destroying || m_painting || m_frameBitmap.isEmpty())
        return;
    // A reversed rectangle (a mirrored copy) covers its normalised pixels.
    const Rect mapped = MapFrameRect(r.normalized(), Placement());
    if (mapped.isEmpty())
        return;
    const QRect q = ToQRect(mapped);
    update(q);
    *m_marked += q;
}

void TTransitionView::UpdateAtOnce()
{
    if (m_marked->isEmpty())
        return;
    const QRegion marked = *m_marked;
    *m_marked = QRegion();
    // Paints everything marked on this window now, not only this region.
    repaint(marked);
}

// Painting --------------------------------------------------------------------

void TTransitionView::Paint()
{
    ClientPaint p;
    p.color = Color();
    p.background = m_bgPicture.Graphic();
    p.bgMode = m_bgMode;
    p.frame = &m_frameBitmap;
    p.placement = Placement();
    PaintClientArea(m_paintBuffer, p);
}

void TTransitionView::paintEvent(QPaintEvent* event)
{
    if (m_painting || QThread::currentThread() != thread()) {
        // Not now: mark the area again so it is painted later.
        const QRect r = event->rect();
        QMetaObject::invokeMethod(this, [this, r] { update(r); }, Qt::QueuedConnection);
        return;
    }
    struct PaintingFlag {
        bool& flag;
        explicit PaintingFlag(bool& f) : flag(f) { flag = true; }
        ~PaintingFlag() { flag = false; }
    } painting(m_painting);

    Paint();
    if (m_paintBuffer.isEmpty())
        return;
    const QImage image(reinterpret_cast<const uchar*>(m_paintBuffer.bits()), m_paintBuffer.width(),
                       m_paintBuffer.height(), qsizetype(m_paintBuffer.width()) * qsizetype(sizeof(Pixel)),
                       QImage::Format_RGB32);
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, 0, image);
}

// The transition driver -------------------------------------------------------

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
    const Rect client = ClientRect();
    // The buffer holds the client area as last painted. One of another size was
    // never painted or is stale since a resize: compose it now.
    if (m_paintBuffer.width() != client.width() || m_paintBuffer.height() != client.height())
        Paint();

    const Pixel colour = Color();
    m_frameBitmap.resize(m_picture.Width(), m_picture.Height(), colour);
    UpdatePictureRect();

    // The last transition's old bitmap lends its memory when the size is the
    // same: a fresh 24-megapixel bitmap costs tens of milliseconds of page
    // faults at every tick.
    Bitmap old = std::move(m_spareOldBitmap);
    const Rect source = FrameTarget(Placement());
    const bool covered = m_stretch && !source.isEmpty() && !m_paintBuffer.isEmpty();
    if (old.width() != m_frameBitmap.width() || old.height() != m_frameBitmap.height()) {
        old.clear();
        old = Bitmap(m_frameBitmap.width(), m_frameBitmap.height(), colour);
    } else if (!covered) {
        old.fill(colour);
    }
    if (!m_stretch) {
        // Unscaled: frame parts outside the client area keep the colour.
        Draw(old, -source.left, -source.top, m_paintBuffer);
    } else if (!source.isEmpty() && !m_paintBuffer.isEmpty()) {
        StretchCopy(old, old.rect(), m_paintBuffer, source);
    }
    m_oldBitmap = std::move(old);
    m_newBitmap = m_picture.Shared();

    SetProgress(Reverse() ? 100 : 0);
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
