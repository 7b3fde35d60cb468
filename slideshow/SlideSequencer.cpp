// SPDX-License-Identifier: GPL-3.0-or-later
#include "slideshow/SlideSequencer.h"

#include <system_error>
#include <utility>

#include "platform/system/Random.h"

namespace kalvio {

namespace {
constexpr int StyleCount = 117;
}

int DrawSlideStyle()
{
    return Random(StyleCount) + 1;
}

SlideSequencer::SlideSequencer(ShowState& state, SlideView& view, SlideTimer& timer,
                               std::function<void()> closeWindow, ShareOutages& outages)
    : state_(state), view_(view), timer_(timer), closeWindow_(std::move(closeWindow)), outages_(outages)
{
}

void SlideSequencer::ShowNextPicture()
{
    if (state_.PictureList.empty() || Waiting())
        return;
    if (view_.Busy())
        view_.Stop();
    view_.SetStyle(DrawSlideStyle());
    ShowOrWait();
}

void SlideSequencer::ShowOrWait()
{
    // Whatever this tick brings (a picture, an error), the entry after it is
    // decoded ahead while the picture shows.
    struct PrepareAfter {
        SlideSequencer& sequencer;
        ~PrepareAfter() { sequencer.PrepareAhead(); }
    } prepareAfter { *this };
    if (const int index = NextEntry(); index >= 0) {
        bool ready = false;
        try {
            ready = view_.EntryReady(index, state_.PictureList[size_t(index)],
                                     [this, index](std::exception_ptr failure) { EntryNewsCame(index, failure); });
        } catch (const std::system_error& e) {
            if (e.code() != std::errc::resource_unavailable_try_again) {
                PassOver(index);
                throw;
            }
            // No thread to read it with: not the picture's fault. The same
            // entry is tried again at the next tick, and this is said once
            // until a thread can be had.
            if (!std::exchange(noThreadSaid_, true))
                throw;
            return;
        } catch (...) {
            PassOver(index);
            throw;
        }
        noThreadSaid_ = false;
        if (!ready) {
            waitingFor_ = index;
            timer_.SetEnabled(false);
            return;
        }
        // The file that did not answer was made meanwhile (say during a
        // pause): its share answered.
        if (index == stalled_)
            ShareAnswered();
    }
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

void SlideSequencer::EntryNewsCame(int index, std::exception_ptr failure)
{
    if (waitingFor_ != index)
        return;
    const std::string& path = state_.PictureList[size_t(index)];
    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const FileNotAnswering&) {
            // Its share is asleep: the same entry is still waited for, the
            // view's one read on it still in flight.
            stalled_ = index;
            const std::string share = ShareOf(path);
            if (outages_.Begin(share))
                throw ShareNotAnswering(share);
            return;
        } catch (...) {
        }
    }
    waitingFor_ = -1;
    // The file answered, with a picture or with broken data: its share is
    // awake again.
    if (index == stalled_)
        ShareAnswered();
    if (!failure) {
        // The timer was off while the show waited; it runs again however
        // the picture turns out (one that fails at its load is passed over).
        struct Resume {
            SlideSequencer& sequencer;
            ~Resume() { sequencer.UpdateSlideTimer(); }
        } resume { *this };
        ShowOrWait();
        return;
    }
    // Passed over as a broken picture is; the next entry one interval later.
    PassOver(index);
    UpdateSlideTimer();
    PrepareAhead();
    std::rethrow_exception(failure);
}

void SlideSequencer::ShareAnswered()
{
    if (size_t(stalled_) < state_.PictureList.size())
        outages_.End(ShareOf(state_.PictureList[size_t(stalled_)]));
    stalled_ = -1;
}

void SlideSequencer::PassOver(int index)
{
    state_.PictureIndex = index + 1;
    failed_.insert(index);
}

void SlideSequencer::PrepareAhead()
{
    if (Waiting())
        return;
    try {
        PrepareNextEntry();
    } catch (...) {
        // Not decoded ahead: the next tick asks for the entry itself.
    }
}

void SlideSequencer::StopWaiting()
{
    if (!Waiting())
        return;
    waitingFor_ = -1;
    view_.StopWaiting();
}

int SlideSequencer::NextEntry() const
{
    const int count = int(state_.PictureList.size());
    if (count == 0 || int(failed_.size()) >= count)
        return -1;
    int index = state_.PictureIndex;
    for (int tried = 0; tried <= count; ++tried, ++index) {
        if (index < 0 || index >= count) {
            if (!state_.LoopPlayback)
                return -1;
            index = 0;
        }
        if (!failed_.contains(index))
            return index;
    }
    return -1;
}

void SlideSequencer::PrepareNextEntry()
{
    if (closing_)
        return;
    const int index = NextEntry();
    if (index < 0)
        view_.DropPrepared();
    else
        view_.PrepareEntry(index, state_.PictureList[size_t(index)]);
}

bool SlideSequencer::LoadNextPicture()
{
    const auto& list = state_.PictureList;
    if (list.empty())
        return true;
    const int index = NextEntry();
    if (index < 0) {
        EndShow();
        return false;
    }
    // Advance first, so that an entry that fails to load is skipped.
    state_.PictureIndex = index + 1;
    try {
        view_.LoadEntry(index, list[size_t(index)]);
    } catch (...) {
        failed_.insert(index);
        throw;
    }
    loadedIndex_ = index;
    return true;
}

void SlideSequencer::UpdateSlideTimer()
{
    timer_.SetEnabled(!view_.Busy() && !state_.PictureList.empty() && !paused_ && !closing_ && !Waiting());
}

void SlideSequencer::Pause()
{
    paused_ = true;
    // The picture waited for comes at the first tick after the pause.
    StopWaiting();
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
    StopWaiting();
    view_.Stop();
    view_.DropPrepared();
    timer_.SetEnabled(false);
    closing_ = true;
    if (closeWindow_)
        closeWindow_();
}

void SlideSequencer::EndShow()
{
    state_.PictureIndex = 0;
    Exit();
}

}
