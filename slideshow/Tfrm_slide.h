// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <memory>

#include "slideshow/PicturePrefetcher.h"
#include "slideshow/ShowState.h"

class QAction;
class QLabel;
class QMenu;
class QScreen;
class QTimer;

namespace kalvio {

class IdleInhibitor;
class SlideSequencer;
class TTransitionView;
class TransitionSlideView;
class PointerHider;
class QtSlideTimer;

// The slideshow window: borderless, covering the screen and above other
// windows. A preparing panel covers the picture view until the first tick;
// each tick brings in the next picture. Space pauses and continues, Esc ends
// the show, and the context menu does the same. The pointer hides over the
// window after two seconds without moving. While the window shows and the
// show runs, paused or not, `awake` (when given) keeps the screen awake.
class Tfrm_slide : public QDialog {
    Q_OBJECT
public:
    // Covers `screen`, or the primary screen when none is given; `decode`
    // makes the pictures (by default LoadPictureRendition).
    explicit Tfrm_slide(ShowState& state = TheShowState(), QScreen* screen = nullptr,
                        IdleInhibitor* awake = nullptr, PicturePrefetcher::Decoder decode = {});
    ~Tfrm_slide() override;

    QWidget* Panel1;
    QLabel* Panel2;
    TTransitionView* View;
    QTimer* Timer;
    QMenu* PopupMenu1;
    QAction* N1;
    QAction* N2;
    QAction* N3;
    QAction* N4;

    void FormCreate();
    void FormShow();
    void TimerTimer();
    void FormKeyDown(int key);
    void N1Click();
    void N2Click();
    void N4Click();

    SlideSequencer& Sequencer() { return *sequencer_; }
    PointerHider& Pointer() { return *pointer_; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowPaused(bool paused);
    void LetScreenSleep();

    ShowState& state_;
    IdleInhibitor* awake_;
    bool awakeHeld_ = false;
    PicturePrefetcher::Decoder decode_;
    std::unique_ptr<TransitionSlideView> slideView_;
    std::unique_ptr<QtSlideTimer> slideTimer_;
    std::unique_ptr<SlideSequencer> sequencer_;
    std::unique_ptr<PointerHider> pointer_;
};

}
