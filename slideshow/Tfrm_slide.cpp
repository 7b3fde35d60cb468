// SPDX-License-Identifier: GPL-3.0-or-later
#include "slideshow/Tfrm_slide.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QTimer>

#include "slideshow/Fonts.h"
#include "slideshow/IdleInhibitor.h"
#include "slideshow/PointerHider.h"
#include "platform/system/Random.h"
#include "slideshow/SlideAdapters.h"
#include "slideshow/SlideSequencer.h"
#include "transition/TransitionView.h"

namespace kalvio {

namespace {
// How long the pointer may rest over the show before it hides.
constexpr std::chrono::milliseconds kPointerRest { 2000 };
}

Tfrm_slide::Tfrm_slide(ShowState& state, QScreen* screen, IdleInhibitor* awake, PicturePrefetcher::Decoder decode)
    : QDialog(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , state_(state)
    , awake_(awake)
    , decode_(std::move(decode))
{
    setObjectName("frm_slide");
    setFont(SansFont(11));
    setFocusPolicy(Qt::StrongFocus);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    Panel1 = new QWidget(this);
    Panel1->setObjectName("Panel1");
    Panel1->setAutoFillBackground(true);
    Panel1->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(Panel1, 0, 0);

    auto* panelLayout = new QGridLayout(Panel1);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    Panel2 = new QLabel(QString::fromUtf8("播放准备中，请稍等..."), Panel1);
    Panel2->setObjectName("Panel2");
    Panel2->setAlignment(Qt::AlignCenter);
    Panel2->setAutoFillBackground(true);
    Panel2->setFocusPolicy(Qt::NoFocus);
    Panel2->setFont(SansFont(40));
    QPalette palette = Panel2->palette();
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::WindowText, Qt::red);
    Panel2->setPalette(palette);
    panelLayout->addWidget(Panel2, 0, 0);

    Timer = new QTimer(this);
    Timer->setObjectName("Timer");
    // A coarse timer may fire up to 5 % early; a picture must never come
    // before its interval is up.
    Timer->setTimerType(Qt::PreciseTimer);
    Timer->setInterval(5000);
    connect(Timer, &QTimer::timeout, this, &Tfrm_slide::TimerTimer);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    N1 = PopupMenu1->addAction(QString::fromUtf8("暂停"));
    N1->setObjectName("N1");
    N2 = PopupMenu1->addAction(QString::fromUtf8("继续"));
    N2->setObjectName("N2");
    N2->setEnabled(false);
    N3 = PopupMenu1->addSeparator();
    N3->setObjectName("N3");
    N4 = PopupMenu1->addAction(QString::fromUtf8("退出"));
    N4->setObjectName("N4");
    connect(N1, &QAction::triggered, this, &Tfrm_slide::N1Click);
    connect(N2, &QAction::triggered, this, &Tfrm_slide::N2Click);
    connect(N4, &QAction::triggered, this, &Tfrm_slide::N4Click);

    if (!screen)
        screen = this->screen();
    if (screen) {
        setScreen(screen);
        setGeometry(screen->geometry());
    }
    setWindowState(Qt::WindowFullScreen);
    pointer_ = std::make_unique<PointerHider>(*this, kPointerRest);

    FormCreate();
}

Tfrm_slide::~Tfrm_slide()
{
    Timer->stop();
    sequencer_.reset();
    LetScreenSleep();
}

void Tfrm_slide::FormCreate()
{
    RandomizeFromClock();

    View = new TTransitionView(Panel1);
    View->setObjectName("View");
    View->setFocusPolicy(Qt::NoFocus);
    View->SetAutoSize(false);
    View->SetAlign(alClient);
    View->SetCenter(true);
    View->SetStretch(true);
    View->SetThreaded(false);
    View->lower();

    slideView_ = std::make_unique<TransitionSlideView>(*View, decode_);
    slideTimer_ = std::make_unique<QtSlideTimer>(*Timer);
    sequencer_ = std::make_unique<SlideSequencer>(state_, *slideView_, *slideTimer_, [this] { close(); });
    sequencer_->UpdateSlideTimer();
    // The first picture decodes while the preparing panel shows.
    if (Timer->isActive())
        sequencer_->PrepareNextEntry();
}

void Tfrm_slide::FormShow()
{
    Panel2->raise();
}

void Tfrm_slide::TimerTimer()
{
    Panel2->hide();
    sequencer_->ShowNextPicture();
}

void Tfrm_slide::FormKeyDown(int key)
{
    if (key == Qt::Key_Escape)
        N4Click();
    else if (key == Qt::Key_Space) {
        if (N1->isEnabled())
            N1Click();
        else
            N2Click();
    }
}

void Tfrm_slide::N1Click()
{
    ShowPaused(true);
    sequencer_->Pause();
}

void Tfrm_slide::N2Click()
{
    ShowPaused(false);
    sequencer_->Continue();
}

void Tfrm_slide::N4Click()
{
    sequencer_->Exit();
}

void Tfrm_slide::ShowPaused(bool paused)
{
    N1->setEnabled(!paused);
    N2->setEnabled(paused);
}

void Tfrm_slide::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (awake_ && !awakeHeld_ && !sequencer_->Closing()) {
        awakeHeld_ = true;
        awake_->Inhibit(windowHandle());
    }
    FormShow();
    pointer_->Start();
    activateWindow();
    setFocus();
}

void Tfrm_slide::keyPressEvent(QKeyEvent* event)
{
    FormKeyDown(event->key());
}

void Tfrm_slide::contextMenuEvent(QContextMenuEvent* event)
{
    // The pointer shows while the menu is open, and rests anew after it.
    pointer_->Hold();
    PopupMenu1->exec(event->globalPos());
    pointer_->Release();
}

void Tfrm_slide::closeEvent(QCloseEvent* event)
{
    // However the window is closed, the show ends with it.
    if (!sequencer_->Closing())
        sequencer_->Exit();
    LetScreenSleep();
    QDialog::closeEvent(event);
}

void Tfrm_slide::LetScreenSleep()
{
    if (awakeHeld_)
        awake_->Release();
    awakeHeld_ = false;
}

}
