// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <set>
#include <string>
#include <vector>

#include "platform/media/MediaPlayer.h"

namespace kalvio {

// Plays the tracks of MusicList one after another, wrapping to the first after
// the last. The settings window calls playmusic at Play and TimerTimer from its
// once-a-second music timer.
//
// A track that fails to open, or whose play, stop or check the player gave up
// on (it did not answer in time), throws MediaError out of that call (the
// general error report shows it once); the next TimerTimer moves on to the next
// entry, and later rounds pass over the failed entries without trying them
// again, so each broken track is reported once per show. When every entry has
// failed, TimerTimer stops trying; the next playmusic (a new show) starts afresh.
class MusicSequencer {
public:
    MusicSequencer(MediaPlayer& player, const std::vector<std::string>& musicList,
                   int& musicIndex);

    // (Re)starts the music on the entry at MusicIndex: close, open, play.
    // Forgets the entries that failed before.
    void playmusic();
    // The once-a-second check: when 10 ms or less of the track remain, or the
    // track failed to open, move to the next entry that has not failed
    // (wrapping) and start it.
    void TimerTimer();
    // End of the show: stops the player when a track is open.
    void Stop();

    // True after every entry failed to open; TimerTimer then does nothing.
    bool GaveUp() const { return gaveUp_; }

private:
    // Close, open and play the entry at MusicIndex.
    void Start();
    void Advance();
    // Makes a player call for the current entry; when it throws, the entry is
    // remembered as failed and the error passed on.
    template <class Call>
    void ForCurrent(Call call);

    MediaPlayer& player_;
    const std::vector<std::string>& MusicList;
    int& MusicIndex;
    bool currentFailed_ = false;
    std::set<int> failed_;
    bool gaveUp_ = false;
};

}
