#pragma once

#include <QTimer>
#include <string>
#include <utility>

#include "slideshow/PicturePrefetcher.h"
#include "slideshow/SlideSequencer.h"
#include "transition/TransitionView.h"

namespace kalvio {

// The transition view as the slideshow sees it. The entry of the next tick is
// decoded ahead; the tick hands its pixels to the view's picture uncopied, or
// throws its decode's failure as a load at the tick would.
class TransitionSlideView : public SlideView {
public:
    explicit TransitionSlideView(TTransitionView& view, PicturePrefetcher::Decoder decode = {})
        : view_(view), prefetcher_(std::move(decode))
    {
    }
    bool Busy() const override { return view_.Busy(); }
    void Stop() override { view_.Stop(); }
    void Execute() override { view_.Execute(); }
    void SetStyle(int style) override { view_.SetStyle(TShowStyle(style)); }
    // Decodes first: a failure leaves the current picture in place.
    void LoadPicture(const std::string& path) override { view_.Picture().Assign(prefetcher_.Decode(path)); }
    void LoadEntry(int index, const std::string& path) override
    {
        if (auto picture = prefetcher_.Take(index, path))
            view_.Picture().Assign(std::move(picture));
        else
            LoadPicture(path);
    }
    void PrepareEntry(int index, const std::string& path) override { prefetcher_.Start(index, path); }
    void DropPrepared() override { prefetcher_.Cancel(); }

private:
    TTransitionView& view_;
    PicturePrefetcher prefetcher_;
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
