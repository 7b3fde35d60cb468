// SPDX-License-Identifier: GPL-3.0-or-later
// Play's folder scans through the settings window, with the real scanners and
// the real error report: with music off the music folder is still scanned and
// a folder that cannot be scanned still ends Play with the report, but one on
// a share that does not answer does not hold the show; Play and Esc pressed
// over and over on such a share leave one scan behind, not one per press.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "QtTestApp.h"
#include "app/ErrorReport.h"
#include "app/Tfrm_kalvio.h"
#include "catalogue/FolderScan.h"
#include "catalogue/InOutError.h"
#include "support/StalledMount.h"
#include "support/TempFolder.h"

using namespace kalvio;

namespace {

size_t ThreadsOfThisProcess()
{
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ++n;
    return n;
}

// A settings window with the real scans; reports, warnings and shows are
// recorded (the show as the slideshow got it).
class PlayScanTest : public ::testing::Test {
protected:
    PlayScanTest() : pictures_("play-scan-pictures")
    {
        test::TestApplication<KalvioApplication>().SetReportHook(
            [this](const QString& text, const QString&) { reports.push_back(text.toStdString()); });
        std::ofstream(pictures_.File("a.jpg")) << "x";
        services.acquireSingleCopy = [] { return true; };
        services.warn = [this](QWidget*, const QString& text) { warnings.push_back(text.toStdString()); };
        services.runSlideshow = [this](ShowState& show, int) { shows.push_back(show); };
    }
    ~PlayScanTest() override { test::TestApplication<KalvioApplication>().SetReportHook({}); }

    // Presses Play with music off and waits until Play has ended: a show, a
    // warning or a report.
    void PlayMusicOff(Tfrm_kalvio& w, const std::string& music)
    {
        w.e_imagedir->setText(QString::fromStdString(pictures_.path().string()));
        w.e_musicdir->setText(QString::fromStdString(music));
        w.RzButton3->click();
        ASSERT_TRUE(test::WaitUntil([&] { return !reports.empty() || !warnings.empty() || !shows.empty(); },
                                    test::kHangMs));
    }

    // Shown and active, so that it gets the keys.
    static void Show(Tfrm_kalvio& w)
    {
        w.show();
        w.activateWindow();
        ASSERT_TRUE(test::WaitUntil([&] { return QApplication::activeWindow() == &w; }, test::kHangMs));
    }

    std::string Picture() const { return pictures_.File("a.jpg"); }

    SettingsServices services;
    std::vector<std::string> reports;
    std::vector<std::string> warnings;
    std::vector<ShowState> shows;

private:
    test::TempFolder pictures_;
};

// With music off, the music folder is scanned as with music on: a folder
// that cannot be scanned ends Play with the report the scan's error gives,
// and without a show; one that can gives the music list, and no track starts.
TEST_F(PlayScanTest, MusicOffStillScansTheMusicFolder)
{
    test::TempFolder music("play-scan-music");
    std::filesystem::create_directories(music.File("closed"));
    std::filesystem::create_directories(music.File("open/sub"));
    std::ofstream(music.File("open/sub/t.mp3")) << "x";
    ::chmod(music.File("closed").c_str(), 0);
    struct Case {
        const char* name;
        std::string folder;
    };
    for (const Case& c : { Case { "empty box", "" }, Case { "missing folder", music.File("gone") },
                           Case { "no access", music.File("closed") }, Case { "tracks", music.File("open") } }) {
        SCOPED_TRACE(c.name);
        // The error the music scan alone gives, if any.
        std::optional<std::string> error;
        std::vector<std::string> tracks;
        try {
            ScanMusicFolder(c.folder, tracks);
        } catch (const InOutError& e) {
            error = ErrorReportText(e.what());
        }
        if (c.folder == music.File("closed") && !error) {
            std::fprintf(stderr, "skipped: root reads a folder without access here\n");
            continue;
        }
        ShowState state;
        reports.clear();
        shows.clear();
        Tfrm_kalvio w(state, services);
        Show(w);
        PlayMusicOff(w, c.folder);
        EXPECT_TRUE(warnings.empty());
        if (error) {
            EXPECT_EQ(reports, std::vector<std::string> { *error });
            EXPECT_TRUE(shows.empty());
            EXPECT_TRUE(w.isVisible()) << "back to the settings";
        } else {
            EXPECT_TRUE(reports.empty());
            ASSERT_EQ(shows.size(), 1u);
            EXPECT_EQ(shows[0].PictureList, std::vector<std::string> { Picture() });
            EXPECT_EQ(shows[0].MusicList, tracks);
            EXPECT_FALSE(w.Timer->isActive()) << "no music with music off";
        }
    }
    ::chmod(music.File("closed").c_str(), 0755);
}

// Music off, the music folder on a share that never answers: once the
// pictures are found the music scan is given its limit, and then the show
// starts without music while the share still does not answer.
TEST_F(PlayScanTest, MusicOffDeadMusicShareDoesNotHoldTheShow)
{
    test::StalledMount mount;
    if (!mount.Usable())
        GTEST_SKIP() << mount.Why();
    services.musicOffLimit = std::chrono::milliseconds(100);
    ShowState state;
    Tfrm_kalvio w(state, services);
    PlayMusicOff(w, mount.Path("music"));
    EXPECT_TRUE(reports.empty());
    ASSERT_EQ(shows.size(), 1u);
    EXPECT_EQ(shows[0].PictureList, std::vector<std::string> { Picture() });
    EXPECT_TRUE(shows[0].MusicList.empty());
    mount.Release();
}

// Play and Esc, over and over, on a picture folder inside a share that never
// answers, with music on and off: each Play takes up the scan the Esc before
// left running, so the process keeps one scan's threads (its own, its music
// scan's and their read-ahead's), not one scan's per press. A Play of
// another folder cancels the scan left before.
TEST_F(PlayScanTest, PlayAndEscOverAndOverOnADeadShareKeepOneScan)
{
    test::StalledMount mount;
    if (!mount.Usable())
        GTEST_SKIP() << mount.Why();
    constexpr int kPresses = 100;
    // One scan with music off: two scanning threads, each with a read-ahead
    // of 32, and a little slack for the joiner and Qt.
    constexpr size_t kOneScan = 2 + 2 * 32 + 8;
    for (const bool useMusic : { true, false }) {
        SCOPED_TRACE(useMusic ? "music on" : "music off");
        ShowState state;
        Tfrm_kalvio w(state, services);
        Show(w);
        w.e_imagedir->setText(QString::fromStdString(mount.Path(useMusic ? "photos-a" : "photos-b")));
        w.e_musicdir->setText(QString::fromStdString(mount.Path("music")));
        w.cb_usemusic->setChecked(useMusic);
        const size_t before = ThreadsOfThisProcess();
        for (int i = 0; i < kPresses; ++i) {
            w.RzButton3->click();
            ASSERT_TRUE(w.Scanning());
            QTest::keyClick(w.RzButton3, Qt::Key_Escape);
            ASSERT_FALSE(w.Scanning());
            QCoreApplication::processEvents();
        }
        const size_t after = ThreadsOfThisProcess();
        EXPECT_LE(after, before + kOneScan) << before << " threads before, " << after << " after";
        EXPECT_TRUE(reports.empty());
        EXPECT_TRUE(warnings.empty());
        EXPECT_TRUE(shows.empty());
    }
    mount.Release();
}

}
