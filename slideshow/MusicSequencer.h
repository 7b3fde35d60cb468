// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/media/MediaPlayer.h"
#include "slideshow/ShareOutage.h"

namespace kalvio {

class JobThread;

// Plays the tracks of MusicList one after another, wrapping to the first after
// the last. The settings window calls playmusic at Play and TimerTimer from its
// once-a-second music timer.
//
// Nothing here waits for a file on the caller's (the GUI's) thread: the tracks
// are opened, checked and changed by one job at a time on a worker of the
// music's own, and each tick takes the outcome of the job before and hands the
// worker the next. Before the player opens a track, the worker asks the
// track's share for its first byte; when that has not answered within the
// limit, the share is asleep: TimerTimer throws ShareNotAnswering once per
// outage (the pictures on the same share share it) and the music waits for
// that same call instead of walking the list, then goes on by itself when it
// returns. So a share asleep holds one worker, however long it sleeps.
//
// A track that answers but fails to open or play, or whose play, stop or
// check the player gave up on, throws MediaError out of the tick that takes
// that outcome (the general error report shows it once); the next tick moves
// on to the next entry, and later rounds pass over the failed entries without
// trying them again. When every entry has failed, TimerTimer stops trying; the
// next playmusic (a new show) starts afresh.
class MusicSequencer {
public:
    static constexpr std::chrono::seconds NoAnswerLimit { 10 };

    // `noAnswerLimit`: by default NoAnswerLimit, or what a test sets through
    // KALVIO_TEST_NO_ANSWER_MS (see NoAnswerLimitOr).
    MusicSequencer(MediaPlayer& player, const std::vector<std::string>& musicList, int& musicIndex,
                   std::chrono::milliseconds noAnswerLimit = NoAnswerLimitOr(NoAnswerLimit),
                   ShareOutages& outages = TheShareOutages());
    // Waits for a player call under way (the player bounds it), never for a
    // share that does not answer: that job is left to end by itself, and it
    // touches the player no more.
    ~MusicSequencer();
    MusicSequencer(const MusicSequencer&) = delete;
    MusicSequencer& operator=(const MusicSequencer&) = delete;

    // (Re)starts the music on the entry at MusicIndex: close, open, play, on
    // the worker; returns at once. Forgets the entries that failed before.
    void playmusic();
    // The once-a-second check: takes the outcome of the job before (throwing
    // its failure), or says once that the share does not answer; then, when
    // 10 ms or less of the track remain, or the track failed, moves to the
    // next entry that has not failed (wrapping) and starts it.
    void TimerTimer();
    // End of the show: no more tracks start; stops the player when a track is
    // open, unless the worker is held by a share that does not answer.
    void Stop();

    // Called on the worker each time a job ends, so that the caller can come
    // back through its event loop instead of waiting; it may only hand the
    // news on (post it), never touch the sequencer. None after destruction.
    void OnJobEnd(std::function<void()> hook);

    // How the start playmusic asked for stands, without waiting for it.
    enum class Start {
        Pending,      // under way; ask again at the next OnJobEnd or `checkAgainIn`
        Ended,        // opened and playing, or failed: TakeStart says which
        ShareAsleep,  // its share has not answered within the no-answer limit
    };
    Start StartProgress(std::chrono::milliseconds& checkAgainIn);
    // After StartProgress said Ended: takes the start's outcome, throwing
    // MediaError for a track that answered but failed. After ShareAsleep it
    // does nothing: the ticks wait for the share, with their notice.
    void TakeStart();
    // No more tracks start, at once and without waiting for the worker; a
    // track its job still starts is stopped by the Stop the caller makes once
    // the job has ended (OnJobEnd).
    void Halt();

    // True after every entry failed to open; TimerTimer then does nothing.
    bool GaveUp() const { return gaveUp_; }
    // True while the music waits for a share that did not answer in time.
    bool WaitingForShare() const { return waitingShare_; }
    // True while a job is on the worker.
    bool Busy() const;
    // Waits until the worker has ended its job, then takes its outcome as a
    // tick would (throwing its failure). For callers that may wait: tests.
    void Settle();

private:
    struct Shared;
    using Clock = std::chrono::steady_clock;

    // Hands the worker a job: start entry `start`, or, with `checkFirst`,
    // check the current track and start `start` only when it has ended.
    void Post(int start, bool checkFirst);
    // Applies the outcome of the ended job; throws its failure.
    void TakeOutcome();
    // The share of the job's file has not answered in time: the notice, once
    // per outage.
    void NoticeIfAsleep();
    // The next entry after MusicIndex that has not failed (wrapping); the
    // current one when all others did.
    int NextEntry() const;
    // Waits while the worker is in a player call or about to make one; not
    // while it waits on a share.
    void WaitForPlayer();

    MediaPlayer& player_;
    const std::vector<std::string>& MusicList;
    int& MusicIndex;
    std::chrono::milliseconds noAnswerLimit_;
    ShareOutages& outages_;
    std::shared_ptr<Shared> shared_;
    std::unique_ptr<JobThread> worker_;
    bool currentFailed_ = true;   // no track of the current entry plays
    bool startPending_ = false;   // playmusic came while the worker was busy
    std::set<int> failed_;
    bool gaveUp_ = false;
    bool waitingShare_ = false;
    std::string asleepShare_;
};

}
