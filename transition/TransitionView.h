// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include <QWidget>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Rect.h"
#include "transition/AnimationTiming.h"
#include "transition/PictureHolder.h"
#include "transition/ViewGeometry.h"
#include "transition/ViewPaint.h"

class QRegion;

namespace kalvio {

// Transition style number: 0 is the custom style, 1..117 the built-in ones.
using TShowStyle = uint8_t;

enum TThreadPriority : uint8_t { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// alClient keeps the view filling its parent's client area.
enum TAlign : uint8_t { alNone, alClient };

class TAnimateThread;
class TTransitionView;

using TNotifyEvent = std::function<void(TTransitionView* sender)>;
// Draws the frames of style 0: `picture` is the incoming picture (NewBitmap),
// `screen` the frame (FrameBitmap), which already holds the old picture.
using TCustomDrawEvent = std::function<void(TTransitionView* sender, const Bitmap& picture, Bitmap& screen)>;

// A control that holds one picture and shows it over a background, and that
// changes what it shows only through an animated transition to the picture.
// Every member runs on the main (GUI) thread.
class TTransitionView : public QWidget {
    Q_OBJECT

public:
    explicit TTransitionView(QWidget* parent = nullptr);
    ~TTransitionView() override;

    // Properties (defaults in brackets).
    TAlign Align() const { return m_align; }
    void SetAlign(TAlign); // [alNone]
    bool AutoSize() const { return m_autoSize; }
    void SetAutoSize(bool); // [true]
    TBackgroundMode BgMode() const { return m_bgMode; }
    void SetBgMode(TBackgroundMode); // [bmTiled]
    PictureHolder& BgPicture() { return m_bgPicture; }
    const PictureHolder& BgPicture() const { return m_bgPicture; }
    void SetBgPicture(const PictureHolder* picture); // copies; nullptr clears
    bool Center() const { return m_center; }
    void SetCenter(bool); // [false]
    // Fill colour of the client area and of frame area a new picture size adds.
    // [the palette's window colour, following the parent until written]
    Pixel Color() const;
    void SetColor(Pixel);
    uint16_t Delay() const { return m_delay.load(std::memory_order_relaxed); }
    void SetDelay(uint16_t ms) { m_delay.store(ms, std::memory_order_relaxed); } // [40]
    bool Manual() const { return m_manual.load(std::memory_order_relaxed); }
    void SetManual(bool); // [false]
    PictureHolder& Picture() { return m_picture; }
    const PictureHolder& Picture() const { return m_picture; }
    void SetPicture(const PictureHolder* picture); // copies; nullptr clears
    bool Reverse() const { return m_reverse.load(std::memory_order_relaxed); }
    void SetReverse(bool on) { m_reverse.store(on, std::memory_order_relaxed); } // [false]
    bool Stretch() const { return m_stretch; }
    void SetStretch(bool); // [false]
    bool StretchFine() const { return m_stretchFine; }
    void SetStretchFine(bool); // [false]
    uint16_t Step() const { return m_step; }
    void SetStep(uint16_t); // [4]; 0 becomes 1, above 100 becomes 100
    TShowStyle Style() const { return m_style; }
    void SetStyle(TShowStyle style) { m_style = style; } // [51]
    bool Threaded() const { return m_threaded; }
    void SetThreaded(bool on) { m_threaded = on; } // [true]
    TThreadPriority ThreadPriority() const { return m_threadPriority; }
    void SetThreadPriority(TThreadPriority p) { m_threadPriority = p; } // [tpNormal]

    // Transition state.
    uint8_t Progress() const { return m_progress.load(std::memory_order_relaxed); }
    void SetProgress(int value); // above 100 becomes 100, below 0 becomes 0
    bool Busy() const { return m_busy.load(std::memory_order_relaxed); }
    bool Stopping() const { return m_stopping.load(std::memory_order_relaxed); }
    bool Painting() const { return m_painting; }

    // Starts a transition from what the view shows to Picture. In-line, returns
    // when it has ended or was stopped; threaded or manual, right after starting.
    void Execute();
    // Ends the running or manual transition at once, without OnComplete.
    void Stop();

    // Events; the sender comes first.
    TNotifyEvent OnChange;   // Picture changed
    TNotifyEvent OnProgress; // a frame was composed and is on screen
    TNotifyEvent OnComplete; // a transition ended normally
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;
    TCustomDrawEvent OnCustomDraw;

    // Geometry, in device pixels: on a screen scaled by 2 a client area of
    // 960 x 540 (as the window system counts) is 1920 x 1080 pixels here, and
    // every one of them shows a pixel of the frame.
    Rect PictureRect() const { return m_pictureRect; }
    Rect ClientRect() const;
    FramePlacement Placement() const;
    void UpdatePictureRect();
    // Marks the window part that shows frame rectangle `r` for repainting.
    void InvalidateFrameRect(const Rect& r);

    // Bitmaps, read-only: the frame shown, the last composed client area, and the
    // transition's pictures (nullptr unless a transition is prepared). When the
    // frame covers the client area pixel for pixel, the frame is the client
    // area: it goes to the screen as it is and PaintBuffer stays empty.
    const Bitmap& FrameBitmap() const { return m_frameBitmap; }
    const Bitmap& PaintBuffer() const { return m_paintBuffer; }
    const Bitmap* OldBitmap() const { return m_oldBitmap ? &*m_oldBitmap : nullptr; }
    const Bitmap* NewBitmap() const { return m_newBitmap.get(); }

    // Replaces the tick clock and the in-line event pump (nullptr: the defaults).
    // The objects must outlive the view, or be replaced before they go.
    void SetTiming(TickClock* clock, EventPump* pump);

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent*) override;
    bool event(QEvent*) override;

    // Composes the whole client area in PaintBuffer, unless the frame is the
    // client area (see FrameBitmap).
    void Paint();

    // The transition driver (TransitionDriver.cpp).
    void PrepareTransition();
    void Animate();
    void FinishTransition();
    void RenderFrame();

private:
    friend class TAnimateThread;

    // The component (TransitionView.cpp): notifications, geometry, paint.
    void PictureChanged();
    void BackgroundChanged();
    void FitClientSizeToPicture();
    void SizeChanged();
    // True when the frame covers the client area pixel for pixel.
    bool FrameIsClientArea() const;
    void InvalidateWhole();
    void UpdateAtOnce();
    void FillParent();

    // The transition driver (TransitionDriver.cpp).
    // Gives OldBitmap the picture's size and what the client area shows, and
    // FrameBitmap the picture's size.
    void TakeSnapshot(int32_t width, int32_t height);
    void AnimationStep();
    bool EndReached() const;
    void ReleaseTransitionBitmaps();
    void AnimateInline();
    void StartThread();
    // Waits for the animation thread to end while serving its hand-offs; runs its
    // terminate notification unless `notify` is off.
    void WaitForThread(bool notify);
    void ServeThread();
    void RunThreadFrame(const std::shared_ptr<TAnimateThread>&);
    void EndThread(const std::shared_ptr<TAnimateThread>&, bool notify);

    // Properties.
    TAlign m_align = alNone;
    bool m_autoSize = true;
    TBackgroundMode m_bgMode = bmTiled;
    PictureHolder m_picture;
    PictureHolder m_bgPicture;
    bool m_center = false;
    std::optional<Pixel> m_color; // none: follow the palette
    std::atomic<uint16_t> m_delay { 40 };
    std::atomic<bool> m_manual { false };
    std::atomic<bool> m_reverse { false };
    bool m_stretch = false;
    bool m_stretchFine = false;
    uint16_t m_step = 4;
    TShowStyle m_style = 51;
    bool m_threaded = true;
    TThreadPriority m_threadPriority = tpNormal;

    // State.
    std::atomic<uint8_t> m_progress { 0 };
    std::atomic<bool> m_busy { false };
    std::atomic<bool> m_stopping { false };
    std::atomic<bool> m_jumped { false }; // a frame jumped to the end by itself
    bool m_painting = false;
    bool m_destroying = false;

    Bitmap m_frameBitmap;
    Bitmap m_paintBuffer;
    Rect m_pictureRect;
    std::optional<Bitmap> m_oldBitmap;
    Bitmap m_spareOldBitmap; // the memory of the last OldBitmap, for the next one
    std::shared_ptr<const Bitmap> m_newBitmap;
    std::shared_ptr<TAnimateThread> m_animateThread;
    TAnimateThread* m_servingFrame = nullptr; // the thread whose frame runs now
    uint32_t m_generation = 0;                 // counts prepared transitions
    // The frame-area marked since the last immediate update.
    std::unique_ptr<QRegion> m_marked;

    // Expires with the view, so a loop that dispatched events can tell.
    std::shared_ptr<const bool> m_alive = std::make_shared<const bool>(true);
    TickClock* m_clock;
    EventPump* m_pump;
    std::unique_ptr<EventPump> m_defaultPump;
};

}
