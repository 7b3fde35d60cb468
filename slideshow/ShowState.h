// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace kalvio {

// What one show works on: the picture and music lists that Play fills, the
// positions in them and the loop switch. The program has one (TheShowState);
// tests make their own and hand it to the plain classes.
struct ShowState {
    std::vector<std::string> PictureList;
    std::vector<std::string> MusicList;
    int PictureIndex = 0;
    int MusicIndex = 0;
    bool LoopPlayback = false;
};

// The process-wide show state.
ShowState& TheShowState();

}
