// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <exception>
#include <functional>
#include <set>
#include <string>

#include "slideshow/ShareOutage.h"
#include "slideshow/ShowState.h"

namespace kalvio {

// What the slideshow asks of the picture view.
class SlideView {
public:
    virtual ~SlideView() = default;
    // True while a transition runs.
    virtual bool Busy() const = 0;
    // Ends a running transition at once; nothing while idle.
    virtual void Stop() = 0;
    // Runs the transition to the loaded picture; returns when it has ended or
    // was stopped. Nothing while Busy.
    virtual void Execute() = 0;
    virtual void SetStyle(int style) = 0;
    // Loads a picture file as the picture of the next transition; throws when
    // the file cannot be loaded.
    virtual void LoadPicture(const std::string& path) = 0;
    // Loads entry `index` of the list (the file `path`); a view that decodes
    // ahead uses what it decoded for that entry.
    virtual void LoadEntry(int /*index*/, const std::string& path) { LoadPicture(path); }

    // What a view that makes its pictures elsewhere says about an entry the
    // show waits for.
    // Null: made, LoadEntry takes it at once now. FileNotAnswering: its file
    // has not answered within the view's limit; the view goes on waiting for
    // it and tells again once it is made (or failed). Otherwise why it failed.
    using EntryListener = std::function<void(std::exception_ptr failure)>;
    // True when LoadEntry(index, path) would not wait for a file. Otherwise
    // the view makes the entry and tells `listener` from its event loop: once
    // when it is made or failed, and before that at most once that it does
    // not answer; throws when it cannot make it at all.
    virtual bool EntryReady(int /*index*/, const std::string& /*path*/, EntryListener /*listener*/)
    {
        return true;
    }
    // The show no longer waits: the listener is dropped unheard.
    virtual void StopWaiting() { }
    // The entry the next tick will load, worth decoding ahead.
    virtual void PrepareEntry(int /*index*/, const std::string& /*path*/) { }
    // Drops what was decoded ahead.
    virtual void DropPrepared() { }
};

// The slideshow window's timer, one tick per picture.
class SlideTimer {
public:
    virtual ~SlideTimer() = default;
    // Enabling a timer that runs leaves it running (no restart); disabling
    // stops it; enabling a stopped one starts a full interval.
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;
};

// The order of the show: which picture comes at each tick, in which style,
// pause, continue, exit and the end of the list. The slideshow window owns one
// and forwards its ticks, keys and menu commands to it.
//
// A picture the view has not made by its tick is waited for with the timer
// off: it comes as soon as it is made, and the next interval counts from then.
// One whose file does not answer in time means its share is asleep: the show
// keeps the current picture and goes on waiting for that same entry, however
// long it takes, and says so once per outage (ShareNotAnswering, shared with
// the music through ShareOutages). When the file answers the show goes on
// from it, and the outage is over without a word. A picture that waited is
// neither counted as failed nor passed over.
//
// A picture that fails to load (or whose transition fails to start) is skipped:
// the index is already past it when the error propagates out of the tick, and
// the entry is remembered so that a looping show does not try it again. When
// every entry has failed the show ends as at the end of a list.
class SlideSequencer {
public:
    SlideSequencer(ShowState& state, SlideView& view, SlideTimer& timer,
                   std::function<void()> closeWindow, ShareOutages& outages = TheShareOutages());

    // One tick: stop a running transition, draw a style 1..117, load the next
    // entry and run the transition to it.
    void ShowNextPicture();
    // Loads the entry at PictureIndex and advances; at the end of the list
    // either wraps (loop) or ends the show. False when it ended the show.
    bool LoadNextPicture();
    // Timer on exactly when the view is idle, there are pictures, the show is
    // not paused and the window is not closing.
    void UpdateSlideTimer();

    void Pause();     // pause: stop the transition, timer off
    void Continue();  // continue: the next picture one interval later
    void Exit();      // stop the transition, timer off, close the window

    bool Paused() const { return paused_; }
    bool Closing() const { return closing_; }
    // True while a tick waits for its picture.
    bool Waiting() const { return waitingFor_ >= 0; }
    // True while that picture's file has not answered in time: the show
    // waits for its share.
    bool WaitingForShare() const { return Waiting() && waitingFor_ == stalled_; }

    // Asks the view to decode ahead the entry the next tick will load (or to
    // drop what it decoded ahead when the show would end there).
    void PrepareNextEntry();

private:
    void EndShow();
    // The tick after its style: shows the next entry, or waits for it.
    void ShowOrWait();
    void EntryNewsCame(int index, std::exception_ptr failure);
    // The file that did not answer has answered: its outage is over.
    void ShareAnswered();
    // Moves the index past a failed entry and remembers it, so that a looping
    // show does not try it again.
    void PassOver(int index);
    // PrepareNextEntry unless a tick waits; a failure only means nothing is
    // decoded ahead.
    void PrepareAhead();
    void StopWaiting();
    // The entry a load would take from PictureIndex: wraps when looping and
    // passes over failed entries; -1 when the show would end.
    int NextEntry() const;

    ShowState& state_;
    SlideView& view_;
    SlideTimer& timer_;
    std::function<void()> closeWindow_;
    ShareOutages& outages_;
    // The entry whose file did not answer in time, until it answers; -1 when
    // none. Only its answer ends the outage: a picture read before the share
    // fell asleep says nothing of it now.
    int stalled_ = -1;
    bool noThreadSaid_ = false;   // no thread to read with, and said so
    bool paused_ = false;
    bool closing_ = false;
    int loadedIndex_ = -1;
    int waitingFor_ = -1;   // the entry a tick waits for, or -1
    std::set<int> failed_;
};

// The style of the next transition: uniform in 1..117 from the process-wide
// generator.
int DrawSlideStyle();

}
