// SPDX-License-Identifier: GPL-3.0-or-later
#include "slideshow/MusicSequencer.h"

namespace kalvio {

MusicSequencer::MusicSequencer(MediaPlayer& player, const std::vector<std::string>& musicList,
                               int& musicIndex)
    : player_(player), MusicList(musicList), MusicIndex(musicIndex) {}

void MusicSequencer::playmusic() {
    failed_.clear();
    gaveUp_ = false;
    Start();
}

template <class Call>
void MusicSequencer::ForCurrent(Call call) {
    try {
        call();
    } catch (...) {
        // Remember the failure: the next tick moves on instead of asking the
        // closed player for a length, and later rounds pass over this entry
        // instead of reporting it again.
        currentFailed_ = true;
        failed_.insert(MusicIndex);
        if (failed_.size() >= MusicList.size()) gaveUp_ = true;
        throw;
    }
}

void MusicSequencer::Start() {
    if (MusicIndex < 0 || size_t(MusicIndex) >= MusicList.size()) {
        player_.Close();
        return;
    }
    // Open closes the track before.
    ForCurrent([&] {
        player_.Open(MusicList[size_t(MusicIndex)]);
        player_.Play();
    });
    currentFailed_ = false;
}

void MusicSequencer::TimerTimer() {
    if (gaveUp_ || MusicList.empty()) return;
    if (!currentFailed_ && player_.IsOpen()) {
        int64_t left = 0;
        ForCurrent([&] {
            const int64_t length = player_.Length();
            left = length - player_.Position();
        });
        if (left > 10) return;
    }
    Advance();
    Start();
}

void MusicSequencer::Stop() {
    if (player_.IsOpen()) ForCurrent([&] { player_.Stop(); });
}

void MusicSequencer::Advance() {
    // The next entry that has not failed; the current one when all others did.
    for (size_t tried = 0; tried < MusicList.size(); ++tried) {
        ++MusicIndex;
        if (MusicIndex < 0 || size_t(MusicIndex) >= MusicList.size()) MusicIndex = 0;
        if (!failed_.contains(MusicIndex)) return;
    }
}

}
