// SPDX-License-Identifier: GPL-3.0-or-later
// Play with music on waits for its first track through the event loop, with
// the real player and the real error report: a track that is no playable file
// ends Play with the report naming it and no show; a track whose share sleeps
// does not hold the show, whose music then waits for the share with one
// notice; Esc while Play waits takes the window back.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QtTestApp.h"
#include "app/ErrorReport.h"
#include "app/Tfrm_kalvio.h"
#include "slideshow/ShareOutage.h"
#include "support/DelayedShare.h"
#include "support/EnvOverride.h"
#include "support/GStreamerReady.h"
#include "support/TempFolder.h"
#include "support/WavWriter.h"

using namespace kalvio;

namespace {

// A settings window whose scans give one picture and `tracks`; reports,
// warnings and shows are recorded. The music plays to a silent output.
class FirstTrackTest : public ::testing::Test {
protected:
    FirstTrackTest()
    {
        test::TestApplication<KalvioApplication>().SetReportHook(
            [this](const QString& text, const QString&) { reports.push_back(text.toStdString()); });
        test::GStreamerReady();
        services.acquireSingleCopy = [] { return true; };
        services.audioSink = "fakesink sync=true";
        services.warn = [this](QWidget*, const QString& text) { warnings.push_back(text.toStdString()); };
        services.scanFolders = [this](const std::string&, const std::optional<std::string>&, ScanProgress*) {
            ShowScanResult result;
            result.pictures = { "/pics/a.jpg" };
            result.music = tracks;
            return result;
        };
        services.runSlideshow = [this](ShowState&, int) {
            ++shows;
            if (duringShow)
                duringShow();
        };
    }
    ~FirstTrackTest() override { test::TestApplication<KalvioApplication>().SetReportHook({}); }

    void Press(Tfrm_kalvio& w)
    {
        w.e_imagedir->setText("/pics");
        w.e_musicdir->setText("/music");
        w.cb_usemusic->setChecked(true);
        w.RzButton3->click();
    }

    // Shown and active, so that it gets the keys.
    static void Show(Tfrm_kalvio& w)
    {
        w.show();
        w.activateWindow();
        ASSERT_TRUE(test::WaitUntil([&] { return QApplication::activeWindow() == &w; }, test::kHangMs));
    }

    // The window as before Play: no search, no music.
    static void ExpectBack(Tfrm_kalvio& w)
    {
        EXPECT_TRUE(w.isVisible());
        EXPECT_FALSE(w.Scanning());
        EXPECT_FALSE(w.scanNote->isVisible());
        EXPECT_NE(w.cursor().shape(), Qt::BusyCursor);
        EXPECT_FALSE(w.Timer->isActive()) << "the music timer stays off";
    }

    SettingsServices services;
    std::vector<std::string> tracks;
    std::vector<std::string> reports;
    std::vector<std::string> warnings;
    int shows = 0;
    std::function<void()> duringShow;
};

// The only track is a text file named .mp3: the player answers that it
// cannot open it. Play ends with the report naming it, before any slideshow
// window, and the settings window is back, ready for another Play.
TEST_F(FirstTrackTest, ATrackThatIsNoSoundEndsPlayWithTheReportAndNoShow)
{
    test::TempFolder music("first-track-broken");
    { std::ofstream(music.File("notes.mp3")) << "not a sound, only words\n"; }
    tracks = { music.File("notes.mp3") };
    ShowState state;
    Tfrm_kalvio w(state, services);
    Show(w);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        reports.clear();
        Press(w);
        EXPECT_TRUE(w.Scanning());
        // Play ends with a report (shown from the event loop) or a show.
        ASSERT_TRUE(test::WaitUntil([&] { return !reports.empty() || shows > 0; }, test::kHangMs));
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_NE(reports[0].find("notes.mp3"), std::string::npos) << reports[0];
        EXPECT_EQ(shows, 0) << "a slideshow window was made";
        EXPECT_TRUE(warnings.empty());
        ExpectBack(w);
    }
}

// The first track sleeps on its share: once the no-answer limit has passed
// the show starts anyway, and its first music tick gives the share's notice,
// the next none. Before that, Esc while Play waits for the track takes the
// window back with no show and no report.
TEST_F(FirstTrackTest, ATrackOnAShareAsleepDoesNotHoldTheShow)
{
    const std::string wavPath = ::testing::TempDir() + "first_track_tone.wav";
    ASSERT_TRUE(test::WriteToneWav(wavPath, 3000));
    std::ifstream wav(wavPath, std::ios::binary);
    auto content = std::make_shared<const std::string>(std::istreambuf_iterator<char>(wav),
                                                       std::istreambuf_iterator<char>());
    test::DelayedShare::Tree tree;
    tree.AddFile("music/x.wav", content);
    test::DelayedShare share(std::move(tree), std::chrono::milliseconds(1));
    if (!share.Usable())
        GTEST_SKIP() << "no FUSE mount on this machine: " << share.Why();
    std::string shareDir = share.Path("");
    shareDir.pop_back();
    test::EnvOverride limit("KALVIO_TEST_NO_ANSWER_MS", "300");
    tracks = { share.Path("music/x.wav") };

    ShowState state;
    Tfrm_kalvio* window = nullptr;
    std::vector<std::string> notices;
    duringShow = [&] {
        EXPECT_TRUE(window->Timer->isActive());
        for (int tick = 0; tick < 2; ++tick) {
            try {
                window->TimerTimer();
            } catch (const ShareNotAnswering& e) {
                notices.push_back(e.what());
            }
        }
    };
    Tfrm_kalvio w(state, services);
    window = &w;
    Show(w);
    share.Sleep();

    Press(w);
    // Past the scan, Play waits for the track.
    ASSERT_TRUE(test::WaitUntil([&] { return share.Waiting() > 0; }, test::kHangMs));
    EXPECT_TRUE(w.Scanning());
    EXPECT_TRUE(w.scanNote->isVisible());
    QTest::keyClick(w.RzButton3, Qt::Key_Escape);
    ExpectBack(w);

    Press(w);
    ASSERT_TRUE(test::WaitUntil([&] { return shows > 0; }, test::kHangMs));
    EXPECT_EQ(shows, 1);
    EXPECT_EQ(notices, std::vector<std::string> { ShareNotAnsweringText(shareDir) });
    EXPECT_TRUE(reports.empty()) << reports.front();
    EXPECT_FALSE(w.isVisible()) << "the program ends after the show";
    share.Wake();
}

}
