#include "slideshow/SlideSequencer.h"

#include <utility>

#include "platform/Random.h"

namespace kalvio {

namespace {
constexpr int StyleCount = 117;
}

int DrawSlideStyle()
{
    return Random(StyleCount) + 1;
}

SlideSequencer::SlideSequencer(ShowState& state, SlideView& view, SlideTimer& timer,
                               std::function<void()> closeWindow)
    : state_(state), view_(view), timer_(timer), closeWindow_(std::move(closeWindow))
{
}

void SlideSequencer::ShowNextPicture()
{
    if (state_.PictureList.empty())
        return;
    if (view_.Busy())
        view_.Stop();
    view_.SetStyle(DrawSlideStyle());
    if (!LoadNextPicture())
        return;
    try {
        view_.Execute();
    } catch (...) {
        // The picture turned out unusable when the transition was prepared.
        failed_.insert(loadedIndex_);
        throw;
    }
    UpdateSlideTimer();
}

bool SlideSequencer::LoadNextPicture()
{
    const auto& list = state_.PictureList;
    if (list.empty())
        return true;
    const int count = int(list.size());
    if (int(failed_.size()) >= count) {
        EndShow();
        return false;
    }
    for (;;) {
        if (state_.PictureIndex < 0 || state_.PictureIndex >= count) {
            if (!state_.LoopPlayback) {
                EndShow();
                return false;
            }
            state_.PictureIndex = 0;
        }
        if (!failed_.contains(state_.PictureIndex))
            break;
        ++state_.PictureIndex;
    }
    const int index = state_.PictureIndex;
    // Advance first, so that an entry that fails to load is skipped.
    ++state_.PictureIndex;
    try {
        view_.LoadPicture(list[size_t(index)]);
    } catch (...) {
        failed_.insert(index);
        throw;
    }
    loadedIndex_ = index;
    return true;
}

void SlideSequencer::UpdateSlideTimer()
{
    timer_.SetEnabled(!view_.Busy() && !state_.PictureList.empty() && !paused_ && !closing_);
}

void SlideSequencer::Pause()
{
    paused_ = true;
    view_.Stop();
    timer_.SetEnabled(false);
}

void SlideSequencer::Continue()
{
    paused_ = false;
    UpdateSlideTimer();
}

void SlideSequencer::Exit()
{
    view_.Stop();
    timer_.SetEnabled(false);
    closing_ = true;
    if (closeWindow_)
        closeWindow_();
}

void SlideSequencer::EndShow()
{
    state_.PictureIndex = 0;
    view_.Stop();
    timer_.SetEnabled(false);
    closing_ = true;
    if (closeWindow_)
        closeWindow_();
}

}
