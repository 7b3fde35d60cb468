// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>

#include <QObject>
#include <QTimer>

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
// Nothing is read on this thread: an entry not made by its tick is waited for
// through the event loop. One whose file has not answered within the limit is
// told as FileNotAnswering and still waited for on the same worker: no second
// read is started on a share that does not answer, and the entry comes as
// soon as its read returns.
class TransitionSlideView : public QObject, public SlideView {
public:
    static constexpr std::chrono::seconds NoAnswerLimit { 10 };

    // `noAnswerLimit`: by default NoAnswerLimit, or what a test sets through
    // KALVIO_TEST_NO_ANSWER_MS (see NoAnswerLimitOr).
    explicit TransitionSlideView(TTransitionView& view, PicturePrefetcher::Decoder decode = {},
                                 std::chrono::milliseconds noAnswerLimit = NoAnswerLimitOr(NoAnswerLimit));
    ~TransitionSlideView() override;

    bool Busy() const override;
    void Stop() override;
    // Runs the transition; the picture is then let go, since the view keeps
    // showing its frame and only the next picture is needed.
    void Execute() override;
    void SetStyle(int style) override;
    // Entry -1: only what was made for it (see LoadEntry).
    void LoadPicture(const std::string& path) override;
    // Takes what was made for the entry; a failure leaves the current picture
    // in place. Throws std::logic_error when it has not been made: ask
    // EntryReady first.
    void LoadEntry(int index, const std::string& path) override;
    bool EntryReady(int index, const std::string& path, EntryListener listener) override;
    void StopWaiting() override;
    // Made once the view is shown, when its client area has its size.
    void PrepareEntry(int index, const std::string& path) override;
    void DropPrepared() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    PictureRequest RequestFor(int index, const std::string& path) const;
    void StartPrepared();
    void EntryMade();
    void NoAnswer();

    TTransitionView& view_;
    PicturePrefetcher prefetcher_;
    std::optional<std::pair<int, std::string>> prepared_;
    EntryListener listener_;   // set while the show waits for prepared_
    QTimer noAnswer_;
};

}
