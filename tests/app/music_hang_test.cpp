// SPDX-License-Identifier: GPL-3.0-or-later
// The end of a show with music whose output hangs, through the settings window
// as the program runs it: the program still ends, and promptly. A stop that
// hangs is reported once; a close that hangs as the window goes is not waited
// for. Each case runs as a program of its own, which must exit with 0.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QCheckBox>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "QtTestApp.h"
#include "app/ErrorReport.h"
#include "app/Tfrm_kalvio.h"
#include "support/GStreamerReady.h"
#include "support/StallingSink.h"
#include "support/WavWriter.h"

using namespace kalvio;
using kalvio::test::StallingSink;

namespace {

// Plays a show with music, its output armed to hang at `change` once the show
// is on, then ends as the program does: the window goes, then the process.
// Exits with 0 when the window closed after the show and `reports` reports
// were made.
[[noreturn]] void PlayThenEnd(GstStateChange change, size_t reports)
{
    KalvioApplication& app = test::TestApplication<KalvioApplication>();
    std::vector<std::string> said;
    app.SetReportHook([&](const QString& text, const QString&) { said.push_back(text.toStdString()); });
    test::GStreamerReady();
    const std::string track = ::testing::TempDir() + "music_hang_" + std::to_string(getpid()) + ".wav";
    test::WriteToneWav(track, 3000);
    bool closed = false;
    {
        ShowState state;
        SettingsServices s;
        s.acquireSingleCopy = [] { return true; };
        s.audioSink = StallingSink::Description();
        s.scanFolders = [&](const std::string&, const std::optional<std::string>&, ScanProgress*) {
            ShowScanResult result;
            result.pictures = { "/pics/a.jpg" };
            result.music = { track };
            return result;
        };
        s.runSlideshow = [&](ShowState&, int) { StallingSink::Arm(change); };
        Tfrm_kalvio window(state, s);
        window.show();
        window.e_imagedir->setText("/pics");
        window.e_musicdir->setText("/music");
        window.cb_usemusic->setChecked(true);
        window.RzButton3Click();
        test::WaitUntil([&] { return !window.Scanning(); }, test::kHangMs);
        closed = !window.isVisible();
    }
    std::remove(track.c_str());
    // Reports are shown from the event loop, once the click has been handled.
    QCoreApplication::sendPostedEvents();
    for (const std::string& text : said)
        std::fprintf(stderr, "reported: %s\n", text.c_str());
    const bool named = said.empty() || said[0].find(track) != std::string::npos;
    std::exit(closed && said.size() == reports && named ? 0 : 1);
}

}

TEST(MusicHang, TheProgramEndsPromptlyWhenTheMusicOutputHangs)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Case {
        GstStateChange change;
        size_t reports;
    } cases[] = {
        { GST_STATE_CHANGE_PLAYING_TO_PAUSED, 1 },   // the stop after the show
        { GST_STATE_CHANGE_PAUSED_TO_READY, 0 },     // the close as the window goes
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(gst_state_change_get_name(c.change));
        const auto t0 = std::chrono::steady_clock::now();
        EXPECT_EXIT(PlayThenEnd(c.change, c.reports), ::testing::ExitedWithCode(0), "");
        // Unbounded, the program would wait until the output's hang ends by
        // itself (StallingSink::selfReleaseS).
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(StallingSink::selfReleaseS / 2));
    }
}
