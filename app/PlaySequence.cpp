// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/PlaySequence.h"

namespace kalvio {

std::string TrimText(std::string_view text)
{
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    size_t first = 0;
    size_t last = text.size();
    while (first < last && isBlank(text[first]))
        ++first;
    while (last > first && isBlank(text[last - 1]))
        --last;
    return std::string(text.substr(first, last - first));
}

std::optional<ShowFolders> PlaySequence::Begin(const PlayChoices& choices)
{
    if (TrimText(choices.ImageDir).empty()) {
        actions_.Warn(NoPictureFolderText);
        return std::nullopt;
    }
    if (choices.UseMusic && TrimText(choices.MusicDir).empty()) {
        actions_.Warn(NoMusicFolderText);
        return std::nullopt;
    }
    state_.PictureList.clear();
    state_.MusicList.clear();
    // Both scans always descend into sub-folders.
    return ShowFolders { choices.ImageDir, choices.MusicDir, choices.UseMusic };
}

PlaySequence::Outcome PlaySequence::Finish(const PlayChoices& choices, ShowScanResult scans)
{
    state_.PictureList = std::move(scans.pictures);
    state_.MusicList = std::move(scans.music);
    if (scans.pictureError)
        throw *scans.pictureError;
    if (scans.musicError)
        throw *scans.musicError;

    if (state_.PictureList.empty()) {
        actions_.Warn(NoPicturesText);
        return Outcome::Warned;
    }
    if (choices.UseMusic && state_.MusicList.empty()) {
        actions_.Warn(NoMusicText);
        return Outcome::Warned;
    }

    state_.PictureIndex = 0;
    state_.LoopPlayback = false;
    state_.MusicIndex = 0;
    if (choices.Loop)
        state_.LoopPlayback = true;

    if (choices.UseMusic && !state_.MusicList.empty()) {
        actions_.StartMusic();
        return Outcome::StartingMusic;
    }
    return Show(choices);
}

PlaySequence::Outcome PlaySequence::Show(const PlayChoices& choices)
{
    const bool music = choices.UseMusic && !state_.MusicList.empty();
    if (music) {
        try {
            actions_.TakeFirstTrack();
        } catch (...) {
            // No show without its first track; the timer was never on.
            actions_.StopMusic();
            throw;
        }
        actions_.SetMusicTimer(true);
    }

    auto endMusic = [&] {
        actions_.SetMusicTimer(false);
        if (music)
            actions_.StopMusic();
    };
    try {
        actions_.RunSlideshow(choices.IntervalSeconds * 1000);
    } catch (...) {
        // No show could be given: the music must not play on without one.
        endMusic();
        throw;
    }
    endMusic();
    actions_.CloseSettings();
    return Outcome::Shown;
}

}
