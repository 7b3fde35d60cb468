// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/ShowScan.h"
#include "slideshow/ShowState.h"

namespace kalvio {

// The choices of the settings window that Play reads.
struct PlayChoices {
    std::string ImageDir;      // text of the picture folder box, as shown
    std::string MusicDir;      // text of the music folder box, as shown
    bool UseMusic = false;
    bool Loop = false;
    int IntervalSeconds = 6;   // already brought into 6..60 by the spin box
};

// What Play does to the world: the warning box, the music,
// the slideshow window and the settings window. The settings window supplies
// the real ones; tests record the calls.
class PlayActions {
public:
    virtual ~PlayActions() = default;
    virtual void Warn(const std::string& text) = 0;
    // Starts the track at MusicIndex; returns before it has opened.
    virtual void StartMusic() = 0;
    // Once the first track's start has ended (or its share is found asleep):
    // throws when the track answered but could not be opened.
    virtual void TakeFirstTrack() = 0;
    virtual void SetMusicTimer(bool enabled) = 0;
    virtual void StopMusic() = 0;
    // Creates a slideshow window, sets its timer to intervalMs and shows it
    // modally; returns when the show has ended.
    virtual void RunSlideshow(int intervalMs) = 0;
    // Closes the settings window, which ends the program.
    virtual void CloseSettings() = 0;
};

inline constexpr char NoPictureFolderText[] = "请选择图片所在的文件夹！";
inline constexpr char NoMusicFolderText[] = "请选择背景音乐所在的文件夹！";
inline constexpr char NoPicturesText[] = "该文件夹下没有需要播放的JPG格式图片！";
inline constexpr char NoMusicText[] = "该文件夹下没有音乐文件！";

// Leading and trailing spaces and control characters removed.
std::string TrimText(std::string_view text);

// The folders Play scans, as their boxes show them (untrimmed). Both are
// always scanned, and a failed scan of either ends Play; with music off,
// though, nothing reads the music list, so Play waits for the music scan only
// a moment once the pictures are found (musicAwaited false).
struct ShowFolders {
    std::string pictures;
    std::string music;
    bool musicAwaited = false;
    bool operator==(const ShowFolders&) const = default;
};

// Play, in parts around what it waits for, which the caller waits for where
// it cannot hold up the window: the folder scans and, with music on, the
// first track's start. Begin validates the choices and clears both lists;
// Finish takes the scans' lists, resets the show state and starts the music;
// Show takes the first track, runs the show and then ends it. A warning
// stops Play with the settings unchanged; a failed scan or a first track that
// does not open propagates its error, and no show starts.
class PlaySequence {
public:
    enum class Outcome { Warned, StartingMusic, Shown };

    PlaySequence(ShowState& state, PlayActions& actions) : state_(state), actions_(actions) { }

    // The folders to scan; nothing when a warning stopped Play.
    std::optional<ShowFolders> Begin(const PlayChoices& choices);
    // After the scans of Begin's folders: the lists as the scans left them;
    // the error that ended a scan is thrown once they are in place.
    // StartingMusic: the first track is starting, Show comes once its start
    // has ended; otherwise Finish has called Show itself.
    Outcome Finish(const PlayChoices& choices, ShowScanResult scans);
    Outcome Show(const PlayChoices& choices);

private:
    ShowState& state_;
    PlayActions& actions_;
};

}
