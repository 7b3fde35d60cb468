#pragma once

#include <QTimer>
#include <string>

#include "slideshow/SlideSequencer.h"
#include "transition/TransitionView.h"

namespace kalvio {

// The transition view as the slideshow sees it.
class TransitionSlideView : public SlideView {
public:
    explicit TransitionSlideView(TTransitionView& view) : view_(view) { }
    bool Busy() const override { return view_.Busy(); }
    void Stop() override { view_.Stop(); }
    void Execute() override { view_.Execute(); }
    void SetStyle(int style) override { view_.SetStyle(TShowStyle(style)); }
    void LoadPicture(const std::string& path) override { view_.Picture().LoadFromFile(path); }

private:
    TTransitionView& view_;
};

// A QTimer switched on and off: switching on a running timer keeps its
// interval running instead of restarting it.
class QtSlideTimer : public SlideTimer {
public:
    explicit QtSlideTimer(QTimer& timer) : timer_(timer) { }
    void SetEnabled(bool enabled) override
    {
        if (!enabled)
            timer_.stop();
        else if (!timer_.isActive())
            timer_.start();
    }
    bool Enabled() const override { return timer_.isActive(); }

private:
    QTimer& timer_;
};

}
