// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <utility>

#include <QObject>

#include "slideshow/PicturePrefetcher.h"
#include "slideshow/SlideSequencer.h"

namespace kalvio {

class TTransitionView;

// The transition view as the slideshow sees it. Every picture is made at the
// size it is shown: the view's client area in device pixels, the whole of it
// (the show stretches each picture over the screen). The entry of the next
// tick is made ahead while the view shows; the tick hands its pixels to the
// view uncopied, or throws its decode's failure as a load at the tick would.
// A client area that changed size since then (another resolution, another
// screen, the window reaching full-screen size) makes the entry again.
class TransitionSlideView : public QObject, public SlideView {
public:
    explicit TransitionSlideView(TTransitionView& view, PicturePrefetcher::Decoder decode = {});
    ~TransitionSlideView() override;

    bool Busy() const override;
    void Stop() override;
    // Runs the transition; the picture is then let go, since the view keeps
    // showing its frame and only the next picture is needed.
    void Execute() override;
    void SetStyle(int style) override;
    // Decodes first: a failure leaves the current picture in place.
    void LoadPicture(const std::string& path) override;
    void LoadEntry(int index, const std::string& path) override;
    // Made once the view is shown, when its client area has its size.
    void PrepareEntry(int index, const std::string& path) override;
    void DropPrepared() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    PictureRequest RequestFor(int index, const std::string& path) const;
    void StartPrepared();

    TTransitionView& view_;
    PicturePrefetcher prefetcher_;
    std::optional<std::pair<int, std::string>> prepared_;
};

}
