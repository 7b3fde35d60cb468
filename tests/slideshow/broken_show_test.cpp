// SPDX-License-Identifier: GPL-3.0-or-later
// A show whose picture folder and music list mix good files with broken ones,
// played by the real slideshow window and music sequencer under the general
// error report: every broken file is reported once and skipped, and both the
// pictures and the music go on with the next good entry.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>
#include <unistd.h>

#include "app/ErrorReport.h"
#include "app/QtTestApp.h"
#include "platform/picture/JpegLoader.h"
#include "platform/picture/JpegRendition.h"
#include "platform/media/MediaPlayer.h"
#include "slideshow/MusicSequencer.h"
#include "slideshow/SlideSequencer.h"
#include "slideshow/Tfrm_slide.h"
#include "support/GStreamerReady.h"
#include "support/WavWriter.h"
#include "transition/TransitionView.h"

using namespace kalvio;
namespace fs = std::filesystem;

namespace {

KalvioApplication& App()
{
    return kalvio::test::TestApplication<KalvioApplication>();
}

const std::string Folder = std::string(KALVIO_TEST_DATA) + "/broken-show/";

bool SameBitmap(const Bitmap& a, const Bitmap& b)
{
    return a.width() == b.width() && a.height() == b.height()
        && std::equal(a.bits(), a.bits() + a.pixelCount(), b.bits());
}

// A picture of the folder as the show's view shows it: at its client size.
Bitmap Shown(Tfrm_slide& slide, const std::string& name)
{
    const Rect client = slide.View->ClientRect();
    return LoadPictureRendition(Folder + name, client.width(), client.height());
}

// Watches the slideshow timer: before each tick runs, notes which good picture
// the view shows, so the order of the pictures on screen can be read
// afterwards whether or not the tick then fails.
class TickWatch : public QObject {
public:
    TickWatch(Tfrm_slide& slide, const std::map<std::string, Bitmap>& good) : slide_(slide), good_(good)
    {
        slide.Timer->installEventFilter(this);
    }
    int ticks = 0;
    std::vector<std::string> shown; // consecutive repeats left out

    void Note()
    {
        for (const auto& [name, bitmap] : good_) {
            if (SameBitmap(slide_.View->FrameBitmap(), bitmap)) {
                if (shown.empty() || shown.back() != name)
                    shown.push_back(name);
                return;
            }
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Timer) {
            ++ticks;
            Note();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    Tfrm_slide& slide_;
    const std::map<std::string, Bitmap>& good_;
};

class BrokenShowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        App().SetReportHook([this](const QString& text, const QString&) { reports.push_back(text.toStdString()); });
        dir_ = fs::temp_directory_path() / ("kalvio-broken-show-" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override
    {
        App().SetReportHook({});
        fs::remove_all(dir_);
    }

    std::string MusicFile(const std::string& name, const std::string& bytes)
    {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string Tone(const std::string& name, int ms)
    {
        const std::string path = (dir_ / name).string();
        EXPECT_TRUE(test::WriteToneWav(path, ms));
        return path;
    }

    // How many reports name `file`.
    int ReportsNaming(const std::string& file) const
    {
        return int(std::count_if(reports.begin(), reports.end(),
            [&](const std::string& r) { return r.find(file) != std::string::npos; }));
    }

    std::vector<std::string> reports;
    fs::path dir_;
};

TEST_F(BrokenShowTest, EachBrokenFileIsReportedOnceAndTheShowAndMusicGoOn)
{
    App();
    const std::vector<std::string> pictures { "good_a.jpg", "header_to_sof.jpg", "zero_byte.jpg", "good_b.jpg",
        "png_renamed.jpg", "bomb_65500x65500.jpg", "trunc_midscan.jpg", "html_named.jpg" };
    const std::vector<std::string> badPictures { "header_to_sof.jpg", "zero_byte.jpg", "png_renamed.jpg",
        "bomb_65500x65500.jpg", "html_named.jpg" };
    std::map<std::string, Bitmap> good; // as shown, once the window shows

    ShowState state;
    for (const std::string& p : pictures)
        state.PictureList.push_back(Folder + p);
    state.LoopPlayback = true;
    state.MusicList = { Tone("one.wav", 300), MusicFile("text.mp3", "not music at all\n"), Tone("two.wav", 300),
        MusicFile("empty.mp3", "") };
    const std::vector<std::string> badTracks { "text.mp3", "empty.mp3" };

    // The music as the settings window runs it, on a silent sink, its
    // once-a-second check shortened; the starts of good tracks are recorded.
    // Its limit is one a busy machine never reaches opening a good track.
    test::GStreamerReady();
    MediaPlayer player("fakesink sync=true", std::chrono::seconds(60));
    MusicSequencer music(player, state.MusicList, state.MusicIndex);
    std::vector<std::string> tracks;
    auto noteTrack = [&] {
        if (player.IsOpen())
            tracks.push_back(fs::path(player.FileName()).filename().string());
    };
    // The music works on a worker of its own: each step waits for it here
    // (Settle) before the player is looked at.
    music.playmusic();
    music.Settle();
    noteTrack();
    QTimer musicTimer;
    musicTimer.setInterval(100);
    QObject::connect(&musicTimer, &QTimer::timeout, [&] {
        const std::string before = player.FileName();
        const int64_t position = player.IsOpen() ? player.Position() : -1;
        music.TimerTimer(); // a failure goes on to the general error report
        music.Settle();
        if (player.IsOpen() && (player.FileName() != before || player.Position() < position))
            noteTrack();
    });
    musicTimer.start();

    Tfrm_slide slide(state);
    slide.View->SetDelay(10); // a transition of about a quarter of a second
    slide.Timer->setInterval(450);
    TickWatch watch(slide, good);
    slide.show();
    for (const char* name : { "good_a.jpg", "good_b.jpg", "trunc_midscan.jpg" })
        good[name] = Shown(slide, name);

    // Two rounds of the looping list: six good pictures on screen.
    test::WaitUntil([&] { return watch.shown.size() >= 6; }, test::kHangMs);
    slide.N4Click();
    musicTimer.stop();
    music.Stop();

    EXPECT_EQ(watch.shown, (std::vector<std::string> { "good_a.jpg", "good_b.jpg", "trunc_midscan.jpg", "good_a.jpg",
                               "good_b.jpg", "trunc_midscan.jpg" }))
        << "every good picture in list order, the broken ones skipped";
    EXPECT_LE(watch.ticks, 8 + 3 + 1) << "the second round spends no tick on a broken entry";
    EXPECT_FALSE(slide.isVisible());

    // One report per broken file and nothing else.
    for (const std::string& bad : badPictures)
        EXPECT_EQ(ReportsNaming(bad), 1) << bad;
    for (const std::string& bad : badTracks)
        EXPECT_EQ(ReportsNaming(bad), 1) << bad;
    EXPECT_EQ(reports.size(), badPictures.size() + badTracks.size());
    for (const std::string& r : reports)
        EXPECT_FALSE(r.empty());

    // The music went round more than once, always on to the next good track.
    ASSERT_GE(tracks.size(), 4u);
    for (size_t i = 0; i < tracks.size(); ++i)
        EXPECT_EQ(tracks[i], i % 2 == 0 ? "one.wav" : "two.wav") << "track start " << i;
}

}

namespace {

// Without loop, broken entries at the start and the end of the list: the one
// good picture is shown, each broken one reported once, and the show ends by
// itself at the end of the list.
TEST_F(BrokenShowTest, WithoutLoopTheShowEndsByItselfAfterTheBrokenEntries)
{
    App();
    std::map<std::string, Bitmap> good;
    ShowState state;
    for (const char* p : { "zero_byte.jpg", "good_b.jpg", "png_renamed.jpg", "html_named.jpg" })
        state.PictureList.push_back(Folder + p);
    Tfrm_slide slide(state);
    slide.View->SetDelay(10);
    slide.Timer->setInterval(300);
    TickWatch watch(slide, good);
    slide.show();
    good["good_b.jpg"] = Shown(slide, "good_b.jpg");

    test::WaitUntil([&] { return !slide.isVisible(); }, test::kHangMs);
    watch.Note();

    EXPECT_FALSE(slide.isVisible()) << "the show ended at the end of the list";
    EXPECT_EQ(watch.shown, std::vector<std::string> { "good_b.jpg" });
    EXPECT_EQ(watch.ticks, 5) << "one tick per entry, then the end";
    EXPECT_EQ(state.PictureIndex, 0);
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(ReportsNaming("zero_byte.jpg"), 1);
    EXPECT_EQ(ReportsNaming("png_renamed.jpg"), 1);
    EXPECT_EQ(ReportsNaming("html_named.jpg"), 1);
}

}
