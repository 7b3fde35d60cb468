// SPDX-License-Identifier: GPL-3.0-or-later
// The transition view as a component: its properties, its geometry and its
// paint. The transitions it runs are in TransitionDriver.cpp.
#include "transition/TransitionView.h"

#include <QEnterEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>

#include "transition/AnimateThread.h"
#include "transition/QtEventPump.h"

namespace kalvio {

namespace {

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
    // The client area holds at least the picture's pixels on a scaled screen.
    const Rect logical = LogicalCover({ 0, 0, m_picture.Width(), m_picture.Height() }, devicePixelRatioF());
    resize(logical.width(), height());
    resize(width(), logical.height());
}

void TTransitionView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    SizeChanged();
}

bool TTransitionView::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    // On another screen the same client area may have another number of pixels.
    if (event->type() == QEvent::ScreenChangeInternal
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
        || event->type() == QEvent::DevicePixelRatioChange
#endif
    )
        SizeChanged();
    return handled;
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

Rect TTransitionView::ClientRect() const
{
    return DeviceRect({ 0, 0, width(), height() }, devicePixelRatioF());
}

FramePlacement TTransitionView::Placement() const
{
    return { m_pictureRect, ClientRect(), m_stretch, m_stretchFine, m_center };
}

void TTransitionView::UpdatePictureRect()
{
    if (m_frameBitmap.isEmpty())
        return;
    const Rect client = ClientRect();
    m_pictureRect = PictureRectFor(m_frameBitmap.width(), m_frameBitmap.height(), client.width(), client.height(),
                                   m_center);
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
    const QRect q = ToQRect(LogicalCover(mapped, devicePixelRatioF()));
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

bool TTransitionView::FrameIsClientArea() const
{
    const Rect client = ClientRect();
    return !m_frameBitmap.isEmpty() && m_frameBitmap.rect() == client && FrameTarget(Placement()) == client;
}

void TTransitionView::Paint()
{
    if (FrameIsClientArea()) {
        m_paintBuffer.clear();
        return;
    }
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
    const Bitmap& shown = m_paintBuffer.isEmpty() ? m_frameBitmap : m_paintBuffer;
    if (shown.isEmpty())
        return;
    const QImage image(reinterpret_cast<const uchar*>(shown.bits()), shown.width(), shown.height(),
                       qsizetype(shown.width()) * qsizetype(sizeof(Pixel)), QImage::Format_RGB32);
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    // Device pixels one to one: a plain copy, also on a scaled screen.
    const qreal ratio = devicePixelRatioF();
    if (ratio != 1)
        painter.setWorldTransform(QTransform::fromScale(1 / ratio, 1 / ratio));
    painter.drawImage(0, 0, image);
}

}
