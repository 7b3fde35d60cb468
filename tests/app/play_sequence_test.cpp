// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/PlaySequence.h"
#include "catalogue/InOutError.h"

using namespace kalvio;

namespace {

using Log = std::vector<std::string>;

// Records every action in order; the scans (run between Play's two halves,
// as the settings window does) answer from a table of folders.
struct RecordingActions : PlayActions {
    explicit RecordingActions(ShowState& s) : state(s) { }

    ShowState& state;
    Log log;
    std::map<std::string, std::vector<std::string>> folders;
    bool musicFails = false;
    // The show state as the slideshow saw it.
    ShowState atShow;

    // A folder missing from the table fails as a missing folder does.
    std::optional<InOutError> Scan(const std::string& kind, const std::string& folder, std::vector<std::string>& list)
    {
        log.push_back(kind + ":" + folder);
        auto it = folders.find(folder);
        if (it == folders.end())
            return InOutError(2);
        list = it->second;
        return std::nullopt;
    }
    ShowScanResult ScanFolders(const ShowFolders& f)
    {
        ShowScanResult result;
        result.pictureError = Scan("pictures", f.pictures, result.pictures);
        if (!result.pictureError)
            result.musicError = Scan("music", f.music, result.music);
        return result;
    }
    void Warn(const std::string& text) override { log.push_back("warn:" + text); }
    void StartMusic() override { log.push_back("playmusic"); }
    void TakeFirstTrack() override
    {
        if (musicFails)
            throw std::runtime_error("cannot open track");
    }
    void SetMusicTimer(bool on) override { log.push_back(on ? "timer on" : "timer off"); }
    void StopMusic() override { log.push_back("stop music"); }
    void RunSlideshow(int ms) override
    {
        log.push_back("show " + std::to_string(ms));
        atShow = state;
    }
    void CloseSettings() override { log.push_back("close"); }
};

// Play as the settings window runs it: Begin, the scans, Finish and, once
// the first track's start has ended, Show.
PlaySequence::Outcome Play(ShowState& state, RecordingActions& actions, const PlayChoices& choices)
{
    PlaySequence play(state, actions);
    const std::optional<ShowFolders> folders = play.Begin(choices);
    if (!folders)
        return PlaySequence::Outcome::Warned;
    // Play waits for the music scan to its end only when it starts a track.
    EXPECT_EQ(folders->musicAwaited, choices.UseMusic);
    const PlaySequence::Outcome outcome = play.Finish(choices, actions.ScanFolders(*folders));
    if (outcome != PlaySequence::Outcome::StartingMusic)
        return outcome;
    // Nothing more happens until the caller comes back with the track.
    EXPECT_EQ(actions.log.back(), "playmusic");
    return play.Show(choices);
}

struct PlayCase {
    const char* name;
    PlayChoices choices;
    PlaySequence::Outcome outcome;
    Log log;
    bool listsCleared;
};

const std::string W1 = std::string("warn:") + NoPictureFolderText;
const std::string W2 = std::string("warn:") + NoMusicFolderText;
const std::string W3 = std::string("warn:") + NoPicturesText;
const std::string W4 = std::string("warn:") + NoMusicText;
using O = PlaySequence::Outcome;

TEST(PlaySequenceTest, ValidationScansAndOrderOfSteps)
{
    const PlayCase cases[] = {
        { "no picture folder", { "", "/music", true, false, 6 }, O::Warned, { W1 }, false },
        { "blank picture folder", { " \t\r\n ", "/music", false, false, 6 }, O::Warned, { W1 }, false },
        { "music on, blank music folder", { "/pics", "  ", true, false, 6 }, O::Warned, { W2 }, false },
        { "no pictures in folder", { "/nopics", "/music", true, false, 6 }, O::Warned,
          { "pictures:/nopics", "music:/music", W3 }, true },
        { "music on, no music in folder", { "/pics", "/nomusic", true, false, 6 }, O::Warned,
          { "pictures:/pics", "music:/nomusic", W4 }, true },
        { "no pictures, music off", { "/nopics", "/music", false, false, 6 }, O::Warned,
          { "pictures:/nopics", "music:/music", W3 }, true },
        { "music off: folder scanned, nothing started", { "/pics", "/nomusic", false, false, 6 }, O::Shown,
          { "pictures:/pics", "music:/nomusic", "show 6000", "timer off", "close" }, true },
        { "music off with music present", { "/pics", "/music", false, true, 60 }, O::Shown,
          { "pictures:/pics", "music:/music", "show 60000", "timer off", "close" }, true },
        { "music on", { "/pics", "/music", true, false, 17 }, O::Shown,
          { "pictures:/pics", "music:/music", "playmusic", "timer on", "show 17000", "timer off",
            "stop music", "close" }, true },
        { "scans get the untrimmed text", { " /pics", "/music ", true, true, 6 }, O::Shown,
          { "pictures: /pics", "music:/music ", "playmusic", "timer on", "show 6000", "timer off",
            "stop music", "close" }, true },
    };
    for (const PlayCase& c : cases) {
        SCOPED_TRACE(c.name);
        ShowState state;
        state.PictureList = { "old.jpg" };
        state.MusicList = { "old.mp3" };
        state.PictureIndex = 4;
        state.MusicIndex = 3;
        state.LoopPlayback = !c.choices.Loop;
        RecordingActions actions(state);
        actions.folders = { { "/pics", { "/pics/1.jpg", "/pics/sub/2.jpg" } },
                            { " /pics", { " /pics/1.jpg" } },
                            { "/nopics", {} },
                            { "/music", { "/music/1.mp3" } },
                            { "/music ", { "/music /1.mp3" } },
                            { "/nomusic", {} } };

        EXPECT_EQ(Play(state, actions, c.choices), c.outcome);
        EXPECT_EQ(actions.log, c.log);
        if (!c.listsCleared) {
            EXPECT_EQ(state.PictureList, std::vector<std::string> { "old.jpg" });
            EXPECT_EQ(state.MusicList, std::vector<std::string> { "old.mp3" });
        } else {
            EXPECT_EQ(state.PictureList, actions.folders[c.choices.ImageDir]);
            EXPECT_EQ(state.MusicList, actions.folders[c.choices.MusicDir]);
        }
        if (c.outcome == O::Shown) {
            EXPECT_EQ(actions.atShow.PictureIndex, 0);
            EXPECT_EQ(actions.atShow.MusicIndex, 0);
            EXPECT_EQ(actions.atShow.LoopPlayback, c.choices.Loop);
        } else {
            EXPECT_EQ(state.PictureIndex, 4) << "a warning leaves the show state alone";
        }
    }
}

TEST(PlaySequenceTest, FailedScanEndsPlayWithItsError)
{
    // An unusable picture folder stops Play, and so does an unusable music
    // folder, with music on or off (the music folder is scanned either way).
    for (const PlayChoices& choices : { PlayChoices { "/gone", "/music", false, false, 6 },
                                        PlayChoices { "/pics", "/gone", true, false, 6 },
                                        PlayChoices { "/pics", "/gone", false, false, 6 },
                                        PlayChoices { "/pics", "", false, false, 6 } }) {
        SCOPED_TRACE(choices.MusicDir + (choices.UseMusic ? ", music on" : ", music off"));
        ShowState state;
        state.MusicList = { "old.mp3" };
        RecordingActions actions(state);
        actions.folders = { { "/pics", { "/pics/1.jpg" } }, { "/music", { "/music/1.mp3" } } };
        EXPECT_THROW(Play(state, actions, choices), InOutError);
        for (const std::string& entry : actions.log)
            EXPECT_EQ(entry.rfind("show", 0), std::string::npos) << "no show after a failed scan";
        EXPECT_EQ(actions.log.back(), choices.ImageDir == "/gone" ? "pictures:/gone" : "music:" + choices.MusicDir);
        // The lists as the scans left them: a failed picture scan leaves the
        // music list cleared, a failed music scan the picture list full.
        EXPECT_EQ(state.PictureList, choices.ImageDir == "/gone" ? std::vector<std::string> {}
                                                                 : std::vector<std::string> { "/pics/1.jpg" });
        EXPECT_TRUE(state.MusicList.empty());
    }
}

TEST(PlaySequenceTest, FirstTrackThatDoesNotOpenEndsPlayBeforeTheShow)
{
    ShowState state;
    RecordingActions actions(state);
    actions.folders = { { "/pics", { "/pics/1.jpg" } }, { "/music", { "/music/bad.mp3" } } };
    actions.musicFails = true;
    EXPECT_THROW(Play(state, actions, { "/pics", "/music", true, false, 6 }), std::runtime_error);
    // The music stopped again, its timer never on, no show.
    EXPECT_EQ(actions.log, (Log { "pictures:/pics", "music:/music", "playmusic", "stop music" }));
}

TEST(PlaySequenceTest, ShowThatCannotStartStopsTheMusicAgain)
{
    struct FailingShow : RecordingActions {
        using RecordingActions::RecordingActions;
        void RunSlideshow(int ms) override
        {
            RecordingActions::RunSlideshow(ms);
            throw std::runtime_error("no window");
        }
    };
    ShowState state;
    FailingShow actions(state);
    actions.folders = { { "/pics", { "/pics/1.jpg" } }, { "/music", { "/music/1.mp3" } } };
    EXPECT_THROW(Play(state, actions, { "/pics", "/music", true, false, 6 }), std::runtime_error);
    EXPECT_EQ(actions.log, (Log { "pictures:/pics", "music:/music", "playmusic", "timer on", "show 6000",
                                  "timer off", "stop music" }));
}

TEST(PlaySequenceTest, TrimRemovesSpacesAndControlCharactersOnly)
{
    struct Case {
        const char* in;
        const char* out;
    };
    for (const Case& c : { Case { "", "" }, Case { " \t\x01\x1f", "" }, Case { " /a b/ ", "/a b/" },
                           Case { "\n/图片\r", "/图片" }, Case { "x", "x" } })
        EXPECT_EQ(TrimText(c.in), c.out) << c.in;
}

}
