#include "slideshow/MusicSequencer.h"

namespace kalvio {

MusicSequencer::MusicSequencer(MediaPlayer& player, const std::vector<std::string>& musicList,
                               int& musicIndex)
    : player_(player), MusicList(musicList), MusicIndex(musicIndex) {}

void MusicSequencer::playmusic() {
    player_.Close();
    if (MusicIndex < 0 || size_t(MusicIndex) >= MusicList.size()) return;
    try {
        player_.Open(MusicList[size_t(MusicIndex)]);
    } catch (...) {
        // Remember the failure: the next tick moves on instead of asking the
        // closed player for a length, which would fail again at every tick.
        currentFailed_ = true;
        if (++failuresInARow_ >= MusicList.size()) gaveUp_ = true;
        throw;
    }
    currentFailed_ = false;
    failuresInARow_ = 0;
    gaveUp_ = false;
    player_.Play();
}

void MusicSequencer::TimerTimer() {
    if (gaveUp_ || MusicList.empty()) return;
    if (!currentFailed_ && player_.IsOpen()) {
        const int64_t length = player_.Length();
        const int64_t position = player_.Position();
        if (length - position > 10) return;
    }
    Advance();
    playmusic();
}

void MusicSequencer::Stop() {
    if (player_.IsOpen()) player_.Stop();
}

void MusicSequencer::Advance() {
    ++MusicIndex;
    if (MusicIndex < 0 || size_t(MusicIndex) >= MusicList.size()) MusicIndex = 0;
}

}
