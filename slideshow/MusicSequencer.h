#pragma once

#include <string>
#include <vector>

#include "platform/MediaPlayer.h"

namespace kalvio {

// Plays the tracks of MusicList one after another, wrapping to the first after
// the last. The settings window calls playmusic at Play and TimerTimer from its
// once-a-second music timer.
//
// A track that fails to open throws MediaError out of that call (the general
// error report shows it once); the next TimerTimer moves on to the next entry.
// After a whole round of entries has failed in a row, TimerTimer stops trying;
// a later successful playmusic (a new show) starts afresh.
class MusicSequencer {
public:
    MusicSequencer(MediaPlayer& player, const std::vector<std::string>& musicList,
                   int& musicIndex);

    // (Re)starts the music on the entry at MusicIndex: close, open, play.
    void playmusic();
    // The once-a-second check: when 10 ms or less of the track remain, or the
    // track failed to open, move to the next entry (wrapping) and playmusic.
    void TimerTimer();
    // End of the show: stops the player when a track is open.
    void Stop();

    // True after every entry failed to open in a row; TimerTimer then does nothing.
    bool GaveUp() const { return gaveUp_; }

private:
    void Advance();

    MediaPlayer& player_;
    const std::vector<std::string>& MusicList;
    int& MusicIndex;
    bool currentFailed_ = false;
    size_t failuresInARow_ = 0;
    bool gaveUp_ = false;
};

}
