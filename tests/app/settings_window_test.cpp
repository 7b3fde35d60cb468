// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFocusEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <atomic>
#include <deque>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "QtTestApp.h"
#include "support/EnvOverride.h"
#include "support/StalledMount.h"
#include "support/GStreamerReady.h"
#include "support/TempFolder.h"
#include "support/WavWriter.h"
#include "app/HomePage.h"
#include "app/IntervalSpinBox.h"
#include "app/LinkLabel.h"
#include "app/MessageBoxes.h"
#include "app/PlaySequence.h"
#include "app/Tfrm_kalvio.h"
#include "slideshow/ThreadJoiner.h"

using namespace kalvio;

namespace {

// A settings window whose outside world is scripted: the folder browser answers
// from a queue, warnings and shows are recorded, nothing real is scanned.
class SettingsWindowTest : public ::testing::Test {
protected:
    SettingsWindowTest()
    {
        test::TestApplication();
        SettingsServices s;
        s.acquireSingleCopy = [] { return true; };
        s.alreadyRunningBox = [](QWidget*) { ADD_FAILURE() << "refused"; };
        s.browseFolder = [this](QWidget*, const QString& start) {
            starts.push_back(start);
            std::optional<QString> answer = answers.empty() ? std::nullopt : answers.front();
            if (!answers.empty())
                answers.pop_front();
            return answer;
        };
        s.warn = [this](QWidget*, const QString& text) { warnings.push_back(text.toStdString()); };
        // Runs on the scan's own thread; read once the scan has ended.
        s.scanFolders = [this](const std::string& pictures, const std::optional<std::string>& music,
                               ScanProgress*) {
            scanned.push_back("pictures " + pictures);
            if (music)
                scanned.push_back("music " + *music);
            ShowScanResult result;
            if (pictures == "/pics")
                result.pictures = { "/pics/a.jpg" };
            return result;
        };
        // With music off, on a thread of its own beside the pictures'.
        s.scanMusic = [this](const std::string& music, ScanProgress*) {
            musicScanned.push_back(music);
            return ShowScanResult {};
        };
        s.runSlideshow = [this](ShowState&, int ms) { shows.push_back(ms); };
        s.showAbout = [this] { ++abouts; };
        s.openUrl = [this](const QUrl& url) { opened.push_back(url); };
        // The scripted folders do not exist: each answers at once. Only a
        // hang would reach this limit.
        s.startFolderLimit = std::chrono::milliseconds(test::kHangMs);
        window = std::make_unique<Tfrm_kalvio>(state, s);
    }

    // Presses a choose button and lets the browser's answer come back.
    void Choose(const char* button)
    {
        Find<QPushButton>(button)->click();
        EXPECT_TRUE(window->Browsing()) << "the start folder is asked first";
        EXPECT_TRUE(test::WaitUntil([this] { return !window->Browsing(); }, test::kHangMs)) << "no browser";
    }

    template <typename T = QWidget>
    T* Find(const char* name)
    {
        return window->findChild<T*>(name);
    }

    // Presses Play and lets the scan, if one starts, come back.
    void PressPlay()
    {
        Find<QPushButton>("RzButton3")->click();
        EXPECT_TRUE(test::WaitUntil([this] { return !window->Scanning(); }, test::kHangMs)) << "the scan never ended";
    }

    ShowState state;
    std::deque<std::optional<QString>> answers;
    std::vector<QString> starts;
    std::vector<std::string> warnings;
    std::vector<std::string> scanned;
    std::vector<std::string> musicScanned; // beside the pictures, with music off
    std::vector<int> shows;
    std::vector<QUrl> opened;
    int abouts = 0;
    std::unique_ptr<Tfrm_kalvio> window;
};

TEST_F(SettingsWindowTest, WindowFrame)
{
    EXPECT_EQ(window->windowTitle(), "Kalvio");
    EXPECT_EQ(window->size(), QSize(637, 303));
    EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "not resizable";
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(window->Refused());
}

TEST_F(SettingsWindowTest, ControlsNamesCaptionsAndPlaces)
{
    struct Control {
        const char* name;
        const char* parent;
        QRect place;
        const char* text;
    };
    const Control controls[] = {
        { "Panel2", "frm_kalvio", { 18, 8, 189, 17 }, "选择要播放的图片所在的文件夹：" },
        { "Panel5", "frm_kalvio", { 8, 16, 608, 73 }, nullptr },
        { "e_imagedir", "Panel5", { 12, 18, 470, 21 }, "" },
        { "cb_image_subdir", "Panel5", { 12, 45, 97, 17 }, "包含子文件夹" },
        { "RzButton1", "Panel5", { 491, 16, 102, 25 }, "选择文件夹..." },
        { "Panel1", "frm_kalvio", { 8, 108, 608, 73 }, nullptr },
        { "e_musicdir", "Panel1", { 12, 18, 470, 21 }, "" },
        { "cb_usemusic", "Panel1", { 12, 45, 97, 17 }, "开启背景音乐" },
        { "RzButton2", "Panel1", { 491, 16, 102, 25 }, "选择文件夹..." },
        { "cb_music_subdir", "Panel1", { 115, 45, 97, 17 }, "包含子文件夹" },
        { "Panel6", "frm_kalvio", { 18, 100, 207, 17 }, "选择要播放的背景音乐所在的文件夹：" },
        { "cb_circle", "frm_kalvio", { 20, 192, 85, 17 }, "循环播放" },
        { "Label1", "frm_kalvio", { 117, 195, 84, 13 }, "图片切换间隔：" },
        { "interupttime", "frm_kalvio", { 203, 191, 65, 21 }, nullptr },
        { "Label2", "frm_kalvio", { 278, 195, 12, 13 }, "秒" },
        { "Label3", "frm_kalvio", { 20, 233, 307, 13 }, "播放期间按空格键暂停，ESC键退出。也可右键菜单控制。" },
        { "RzButton5", "frm_kalvio", { 344, 227, 85, 25 }, "关于" },
        { "RzButton3", "frm_kalvio", { 438, 227, 85, 25 }, "播放" },
        { "RzButton4", "frm_kalvio", { 531, 227, 85, 25 }, "关闭" },
        { "Panel7", "frm_kalvio", { 0, 266, 637, 37 }, nullptr },
        { "Label4", "Panel7", { 11, 11, 60, 13 }, "软件主页：" },
        { "l_info", "Panel7", { 77, 11, 90, 13 }, "kalvio.app" },
    };
    for (const Control& c : controls) {
        SCOPED_TRACE(c.name);
        QWidget* w = Find(c.name);
        ASSERT_NE(w, nullptr);
        ASSERT_NE(w->parentWidget(), nullptr);
        EXPECT_EQ(w->parentWidget()->objectName(), c.parent);
        EXPECT_EQ(w->geometry(), c.place);
        if (!c.text)
            continue;
        QString text;
        if (auto* label = qobject_cast<QLabel*>(w))
            text = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            text = button->text();
        else if (auto* edit = qobject_cast<QLineEdit*>(w))
            text = edit->text();
        else
            ADD_FAILURE() << "no caption";
        EXPECT_EQ(text, QString::fromUtf8(c.text));
    }
    // The titles are drawn over the frames they name.
    EXPECT_GT(window->children().indexOf(Find("Panel2")), window->children().indexOf(Find("Panel5")));
}

TEST_F(SettingsWindowTest, InitialStatesAndColours)
{
    for (const char* name : { "e_imagedir", "e_musicdir" }) {
        auto* box = Find<QLineEdit>(name);
        EXPECT_TRUE(box->isReadOnly()) << name;
        const QColor base = box->palette().color(QPalette::Base);
        EXPECT_GT(base.red(), 230) << name;
        EXPECT_GT(base.green(), 230) << name;
        EXPECT_LT(base.blue(), base.green() - 10) << name << ": pale yellow";
    }
    EXPECT_TRUE(Find<QCheckBox>("cb_image_subdir")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>("cb_music_subdir")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>("cb_usemusic")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>("cb_circle")->isChecked());

    auto* interval = Find<QSpinBox>("interupttime");
    EXPECT_EQ(interval->minimum(), 6);
    EXPECT_EQ(interval->maximum(), 60);
    EXPECT_EQ(interval->value(), 6);
    EXPECT_EQ(interval->text(), "6");

    EXPECT_EQ(Find("Label3")->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(Find("l_info")->palette().color(QPalette::WindowText), QColor(0x80, 0, 0));
    EXPECT_FALSE(Find("l_info")->testAttribute(Qt::WA_SetCursor)) << "pointer shape unchanged";

    QTimer* timer = window->findChild<QTimer*>("Timer");
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 1000);
    EXPECT_FALSE(timer->isActive());
    for (const char* name : { "RzButton1", "RzButton2", "RzButton3", "RzButton4", "RzButton5" })
        EXPECT_TRUE(Find(name)->focusPolicy() & Qt::ClickFocus) << name << " takes the focus when clicked";
}

TEST_F(SettingsWindowTest, TabOrder)
{
    const std::vector<QString> expected = { "e_imagedir", "cb_image_subdir", "RzButton1", "e_musicdir",
                                            "cb_usemusic", "RzButton2", "cb_music_subdir", "cb_circle",
                                            "RzButton3", "RzButton4", "RzButton5", "interupttime" };
    std::vector<QString> order;
    QWidget* w = Find("e_imagedir");
    for (size_t i = 0; i < expected.size(); ++i) {
        order.push_back(w->objectName());
        int guard = 1000;
        do
            w = w->nextInFocusChain();
        while (std::find(expected.begin(), expected.end(), w->objectName()) == expected.end() && --guard);
        ASSERT_GT(guard, 0);
    }
    EXPECT_EQ(order, expected);
}

TEST_F(SettingsWindowTest, IntervalIsBroughtIntoRangeWhenTheFocusLeaves)
{
    struct Case {
        const char* typed;
        int value;
        const char* shown;
    };
    const Case cases[] = { { "3", 6, "6" }, { "100", 60, "60" }, { "", 6, "6" }, { "25", 25, "25" },
                           { "-7", 6, "6" }, { "60", 60, "60" }, { "99999999999999999999", 60, "60" } };
    auto* interval = Find<QSpinBox>("interupttime");
    QLineEdit* edit = interval->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        edit->selectAll();
        QKeyEvent erase(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
        QCoreApplication::sendEvent(edit, &erase);
        for (const char* p = c.typed; *p; ++p) {
            QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(QChar(*p)));
            QCoreApplication::sendEvent(edit, &key);
        }
        EXPECT_EQ(edit->text(), QString(c.typed)) << "digits are taken while typing";
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(interval, &out);
        EXPECT_EQ(interval->value(), c.value);
        EXPECT_EQ(interval->text(), QString(c.shown));
    }
    // Letters are refused while typing.
    edit->setText("12");
    QKeyEvent letter(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QCoreApplication::sendEvent(edit, &letter);
    EXPECT_EQ(edit->text(), "12");
}

TEST_F(SettingsWindowTest, PlayUsesTheClampedIntervalEvenWithoutFocusLoss)
{
    window->show();
    Find<QLineEdit>("e_imagedir")->setText("/pics");
    Find<QLineEdit>("e_musicdir")->setText("/music");
    for (const auto& [typed, ms] : { std::pair { "100", 60000 }, std::pair { "3", 6000 } }) {
        Find<QSpinBox>("interupttime")->findChild<QLineEdit*>()->setText(typed);
        shows.clear();
        PressPlay();
        EXPECT_EQ(shows, std::vector<int> { ms }) << typed;
    }
}

// With music off and the music box the picture folder (as it follows by
// default), one scan walks both: no second walk of the same folders.
TEST_F(SettingsWindowTest, MusicOffSameFolderIsOneWalk)
{
    Find<QLineEdit>("e_imagedir")->setText("/pics");
    Find<QLineEdit>("e_musicdir")->setText("/pics");
    PressPlay();
    EXPECT_EQ(scanned, (std::vector<std::string> { "pictures /pics", "music /pics" }));
    EXPECT_TRUE(musicScanned.empty());
    EXPECT_EQ(shows.size(), 1u);
}

TEST_F(SettingsWindowTest, FolderBrowser)
{
    auto* image = Find<QLineEdit>("e_imagedir");
    auto* music = Find<QLineEdit>("e_musicdir");
    struct Step {
        const char* button;
        std::optional<QString> answer;
        QString start, image, music;
    };
    const Step steps[] = {
        // Cancelling before anything was confirmed writes an empty text.
        { "RzButton1", std::nullopt, "", "", "" },
        // The first choice fills the empty music box too.
        { "RzButton1", "/photos", "", "/photos", "/photos" },
        // Later choices leave the music box alone.
        { "RzButton1", "/photos/2024", "/photos", "/photos/2024", "/photos" },
        // Cancelling the music browser writes the last folder confirmed by either button.
        { "RzButton2", std::nullopt, "/photos/2024", "/photos/2024", "/photos/2024" },
        { "RzButton2", "/music", "/photos/2024", "/photos/2024", "/music" },
        { "RzButton1", std::nullopt, "/music", "/music", "/music" },
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(std::string(s.button) + " -> " + s.answer.value_or("(cancel)").toStdString());
        answers = { s.answer };
        starts.clear();
        Choose(s.button);
        EXPECT_EQ(starts, std::vector<QString> { s.start });
        EXPECT_EQ(image->text(), s.image);
        EXPECT_EQ(music->text(), s.music);
    }
    // A music box holding only blanks counts as empty.
    music->setText("  \t");
    answers = { "/new" };
    Choose("RzButton1");
    EXPECT_EQ(music->text(), "/new");
}

TEST_F(SettingsWindowTest, PlayButtonRunsThePlaySequence)
{
    window->show();
    bool closed = false;
    QObject::connect(window.get(), &Tfrm_kalvio::closed, [&] { closed = true; });

    PressPlay();
    EXPECT_EQ(warnings, std::vector<std::string> { NoPictureFolderText });
    EXPECT_TRUE(scanned.empty());

    Find<QCheckBox>("cb_usemusic")->setChecked(true);
    Find<QLineEdit>("e_imagedir")->setText("/pics");
    PressPlay();
    EXPECT_EQ(warnings.back(), NoMusicFolderText);

    Find<QLineEdit>("e_musicdir")->setText("/empty");
    PressPlay();
    EXPECT_EQ(warnings.back(), NoMusicText);
    EXPECT_EQ(scanned, (std::vector<std::string> { "pictures /pics", "music /empty" }));
    EXPECT_TRUE(musicScanned.empty()) << "with music on, one scan reads both folders";
    EXPECT_TRUE(shows.empty());
    EXPECT_TRUE(window->isVisible());

    // With music off the music folder is still scanned (beside the
    // pictures), no music starts, the show runs and the settings window
    // closes after it.
    Find<QCheckBox>("cb_usemusic")->setChecked(false);
    Find<QCheckBox>("cb_circle")->setChecked(true);
    Find<QSpinBox>("interupttime")->setValue(9);
    scanned.clear();
    PressPlay();
    EXPECT_EQ(scanned, std::vector<std::string> { "pictures /pics" });
    EXPECT_EQ(musicScanned, std::vector<std::string> { "/empty" });
    EXPECT_EQ(shows, std::vector<int> { 9000 });
    EXPECT_TRUE(state.LoopPlayback);
    EXPECT_FALSE(window->Timer->isActive());
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(closed);
    EXPECT_TRUE(state.PictureList.empty()) << "closing frees the lists";
}

// Play abandoned while it scans, by Esc (wherever the keyboard focus is) or a
// second press of Play, with a scan that never ends: the window is at once as
// before Play, with no warning and no show. A new Play of other folders scans
// them; one of the folders of the scan left running takes that scan up again,
// and its result, once it comes, goes on as Play's.
TEST_F(SettingsWindowTest, PlayIsCancelledWhileItScans)
{
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    std::atomic<int> started = 0;
    Tfrm_kalvio::Services s;
    s.acquireSingleCopy = [] { return true; };
    s.scanFolders = [&, released](const std::string&, const std::optional<std::string>&, ScanProgress*) {
        ++started;
        released.wait(); // a share that never answers, deaf to the cancel
        return ShowScanResult {};
    };
    s.scanMusic = [](const std::string&, ScanProgress*) { return ShowScanResult {}; };
    s.runSlideshow = [this](ShowState&, int ms) { shows.push_back(ms); };
    s.warn = [this](QWidget*, const QString& text) { warnings.push_back(text.toStdString()); };
    Tfrm_kalvio w(state, s);
    w.show();
    w.activateWindow();
    ASSERT_TRUE(test::WaitUntil([&] { return QApplication::activeWindow() == &w; }, test::kHangMs));
    w.e_imagedir->setText("/pics");

    struct Way {
        const char* name;
        QWidget* focus; // Esc pressed here; none: Play pressed again
    };
    for (const Way& way : { Way { "Esc on Play", w.RzButton3 }, Way { "Esc on the path box", w.e_imagedir },
                            Way { "Esc on the interval", w.interupttime }, Way { "Play again", nullptr } }) {
        SCOPED_TRACE(way.name);
        w.e_imagedir->setText(QString("/pics/") + way.name);
        const int before = started;
        w.RzButton3->click();
        ASSERT_TRUE(w.Scanning());
        ASSERT_TRUE(test::WaitUntil([&] { return started == before + 1; }, test::kHangMs));
        EXPECT_TRUE(w.scanNote->isVisible());
        if (way.focus) {
            way.focus->setFocus();
            QTest::keyClick(way.focus, Qt::Key_Escape);
        } else {
            w.RzButton3->click();
        }
        EXPECT_FALSE(w.Scanning());
        EXPECT_FALSE(w.scanNote->isVisible());
        EXPECT_NE(w.cursor().shape(), Qt::BusyCursor);
        EXPECT_TRUE(w.isVisible());
    }
    // Esc without a scan does nothing.
    QTest::keyClick(w.RzButton3, Qt::Key_Escape);
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(warnings.empty());
    EXPECT_TRUE(shows.empty());

    // The same folders as the scan abandoned last: no new scan.
    const int before = started;
    w.RzButton3->click();
    EXPECT_TRUE(w.Scanning());
    EXPECT_TRUE(w.scanNote->isVisible());
    release.set_value();
    ASSERT_TRUE(test::WaitUntil([&] { return !w.Scanning(); }, test::kHangMs));
    EXPECT_EQ(started, before) << "a scan abandoned before was not taken up";
    // Its lists (no pictures) are Play's.
    EXPECT_EQ(warnings, std::vector<std::string> { NoPicturesText });
    EXPECT_TRUE(shows.empty());
}

// Play with music off and the music folder on a share that never answers:
// the real scans, and once the pictures are found the music scan is given up
// after its limit; the show starts without music.
TEST_F(SettingsWindowTest, MusicOffDoesNotWaitForADeadMusicFolder)
{
    test::StalledMount mount;
    if (!mount.Usable())
        GTEST_SKIP() << mount.Why();
    test::TempFolder pictures("settings-music-off");
    { std::ofstream(pictures.File("a.jpg")) << "x"; }
    Tfrm_kalvio::Services s;
    s.acquireSingleCopy = [] { return true; };
    std::vector<ShowState> atShow;
    s.runSlideshow = [&](ShowState& show, int) { atShow.push_back(show); };
    s.warn = [this](QWidget*, const QString& text) { warnings.push_back(text.toStdString()); };
    Tfrm_kalvio w(state, s);
    w.e_imagedir->setText(QString::fromStdString(pictures.path().string()));
    w.e_musicdir->setText(QString::fromStdString(mount.Path("music")));
    w.RzButton3Click();
    ASSERT_TRUE(test::WaitUntil([&] { return !w.Scanning(); }, test::kHangMs));
    EXPECT_TRUE(warnings.empty());
    ASSERT_EQ(atShow.size(), 1u) << "no show";
    EXPECT_EQ(atShow[0].PictureList, std::vector<std::string> { pictures.File("a.jpg") });
    EXPECT_TRUE(atShow[0].MusicList.empty());
    mount.Release();
}

TEST_F(SettingsWindowTest, AboutAndCloseButtons)
{
    window->show();
    Find<QPushButton>("RzButton5")->click();
    EXPECT_EQ(abouts, 1);
    EXPECT_TRUE(window->isVisible());
    Find<QPushButton>("RzButton4")->click();
    EXPECT_FALSE(window->isVisible());
}

TEST_F(SettingsWindowTest, HomePageLink)
{
    auto* link = Find<LinkLabel>("l_info");
    emit link->clicked();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl(HomePageAddress));

    struct Case {
        bool bold, underline;
        bool afterEnterBold, afterEnterUnderline, afterLeaveUnderline;
    };
    for (const Case& c : { Case { false, false, false, true, false }, Case { true, false, false, true, false },
                           Case { true, true, false, true, false }, Case { false, true, false, true, false } }) {
        QFont f = link->font();
        f.setBold(c.bold);
        f.setUnderline(c.underline);
        link->setFont(f);
        emit link->mouseEntered();
        EXPECT_EQ(link->font().bold(), c.afterEnterBold);
        EXPECT_EQ(link->font().underline(), c.afterEnterUnderline);
        emit link->mouseLeft();
        EXPECT_EQ(link->font().underline(), c.afterLeaveUnderline);
    }
    // Leaving a link that is not exactly underlined changes nothing.
    QFont f = link->font();
    f.setBold(true);
    f.setUnderline(true);
    link->setFont(f);
    emit link->mouseLeft();
    EXPECT_TRUE(link->font().underline());
    EXPECT_TRUE(link->font().bold());
}

// Play with music on the real player (silent output): the first track plays
// and the music timer runs during the show; both stop after it.
TEST(SettingsWindowMusic, MusicRunsBesideTheShowAndStopsAfterIt)
{
    test::TestApplication();
    test::GStreamerReady();
    const std::string track = ::testing::TempDir() + "settings_window_tone.wav";
    ASSERT_TRUE(test::WriteToneWav(track, 3000));

    ShowState state;
    Tfrm_kalvio* window = nullptr;
    bool showed = false;
    SettingsServices s;
    s.acquireSingleCopy = [] { return true; };
    s.audioSink = "fakesink sync=true";
    s.scanFolders = [&](const std::string&, const std::optional<std::string>& music, ScanProgress*) {
        ShowScanResult result;
        result.pictures = { "/pics/a.jpg" };
        if (music == "/music")
            result.music = { track };
        return result;
    };
    s.runSlideshow = [&](ShowState& show, int) {
        showed = true;
        EXPECT_TRUE(window->Timer->isActive());
        // A check while the track plays keeps it; it throws when no track is open.
        EXPECT_NO_THROW(window->TimerTimer());
        EXPECT_EQ(show.MusicIndex, 0);
    };
    Tfrm_kalvio w(state, s);
    window = &w;
    w.show();
    w.e_imagedir->setText("/pics");
    w.e_musicdir->setText("/music");
    w.cb_usemusic->setChecked(true);
    w.RzButton3Click();
    ASSERT_TRUE(test::WaitUntil([&] { return !w.Scanning(); }, test::kHangMs));
    EXPECT_TRUE(showed);
    EXPECT_FALSE(w.Timer->isActive()) << "the music timer is off after the show";
    EXPECT_FALSE(w.isVisible());
}

// The real folder dialog: it opens at the last confirmed folder, and a cancel
// writes that folder again.
TEST(SettingsWindowBrowser, FolderDialogStartsAtTheLastConfirmedFolder)
{
    test::TestApplication();
    const QString base = QString::fromStdString(::testing::TempDir()) + "settings_browser";
    const QString first = base + "/first", second = base + "/second";
    ASSERT_TRUE(QDir().mkpath(first) && QDir().mkpath(second));

    ShowState state;
    SettingsServices s;
    s.acquireSingleCopy = [] { return true; };
    Tfrm_kalvio window(state, s);
    window.show();

    // Answers the dialog once it is up: `folder` confirms it, none cancels;
    // then waits until the box is written.
    QString openedAt;
    auto choose = [&](void (Tfrm_kalvio::*click)(), std::optional<QString> folder) {
        test::WhenModal<QFileDialog>([&openedAt, folder](QFileDialog& dialog) {
            openedAt = dialog.directory().absolutePath();
            if (folder) {
                dialog.setDirectory(*folder);
                static_cast<QDialog&>(dialog).accept();
            } else {
                dialog.reject();
            }
        });
        (window.*click)();
        ASSERT_TRUE(test::WaitUntil([&] { return !window.Browsing(); }, test::kHangMs));
    };

    choose(&Tfrm_kalvio::RzButton1Click, first);
    EXPECT_EQ(QDir(window.e_imagedir->text()), QDir(first));
    EXPECT_EQ(QDir(window.e_musicdir->text()), QDir(first));

    choose(&Tfrm_kalvio::RzButton2Click, second);
    EXPECT_EQ(QDir(openedAt), QDir(first));
    EXPECT_EQ(QDir(window.e_musicdir->text()), QDir(second));

    choose(&Tfrm_kalvio::RzButton1Click, std::nullopt);
    EXPECT_EQ(QDir(openedAt), QDir(second));
    EXPECT_EQ(QDir(window.e_imagedir->text()), QDir(second)) << "cancel writes the last confirmed folder";
}

// The real folder dialog when its last folder is on a share that no longer
// answers: the dialog opens at the home folder instead, while the share still
// hangs, and the window answers meanwhile; a second press while the folder is
// asked opens no second dialog. Twice: the second time the first check is
// still stuck, and no second thread is put at risk.
TEST(SettingsWindowBrowser, DeadStartFolderOpensTheDialogAtHome)
{
    test::TestApplication();
    test::StalledMount mount;
    if (!mount.Usable())
        GTEST_SKIP() << mount.Why();
    ShowState state;
    SettingsServices s;
    s.acquireSingleCopy = [] { return true; };
    const QString dead = QString::fromStdString(mount.Path("photos"));
    int opened = 0;
    s.browseFolder = [&](QWidget* owner, const QString& start) -> std::optional<QString> {
        ++opened;
        QFileDialog dialog(owner, QString(), start);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        dialog.exec();
        // Confirming the dead folder, as a person who chose it before did.
        return dead;
    };
    Tfrm_kalvio window(state, s);
    window.show();
    // Threads of earlier tests, once they ended.
    ASSERT_TRUE(test::WaitUntil([] { return ThreadsAwaitingJoin() == 0; }, test::kHangMs));

    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        QString openedAt;
        test::WhenModal<QFileDialog>([&](QFileDialog& dialog) {
            openedAt = dialog.directory().absolutePath();
            dialog.reject();
        });
        const auto pressed = std::chrono::steady_clock::now();
        window.RzButton1Click();
        window.RzButton1Click(); // pressed again while the folder is asked
        ASSERT_TRUE(test::WaitUntil([&] { return !window.Browsing(); }, test::kHangMs));
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - pressed);
        std::printf("round %d: the dialog opened and closed %lld ms after the press\n", round, (long long)ms.count());
        EXPECT_EQ(opened, round + 1);
        EXPECT_LT(ms, std::chrono::seconds(test::StalledMount::selfReleaseS)) << "waited for the share";
        // The first round starts where the process is; later ones at the dead
        // folder, which gives way to the home folder.
        if (round > 0) {
            EXPECT_EQ(QDir(openedAt), QDir(QDir::homePath()));
        }
        EXPECT_EQ(window.e_imagedir->text(), dead);
    }
    EXPECT_EQ(ThreadsAwaitingJoin(), 1u) << "one check stuck on the share, no more";
    // Once the share is gone, the stuck check ends too.
    mount.Release();
    EXPECT_TRUE(test::WaitUntil([] { return ThreadsAwaitingJoin() == 0; }, test::kHangMs));
}

TEST(SettingsWindowStart, SecondCopyIsRefusedWithoutShowingTheWindow)
{
    test::TestApplication();
    ShowState state;
    state.PictureList = { "kept.jpg" };
    int boxes = 0;
    SettingsServices s;
    s.acquireSingleCopy = [] { return false; };
    s.alreadyRunningBox = [&](QWidget*) { ++boxes; };
    Tfrm_kalvio window(state, s);
    EXPECT_TRUE(window.Refused());
    EXPECT_EQ(boxes, 1);
    EXPECT_FALSE(window.isVisible());
}

// Standard error, written to a file while the object lives.
class StderrCapture {
public:
    StderrCapture() : file_(std::tmpfile()), saved_(dup(2))
    {
        std::fflush(stderr);
        dup2(fileno(file_), 2);
    }
    ~StderrCapture() { Text(); }
    // Ends the capture; what was written.
    std::string Text()
    {
        if (saved_ >= 0) {
            std::fflush(stderr);
            dup2(saved_, 2);
            close(saved_);
            saved_ = -1;
            std::rewind(file_);
            for (int c; (c = std::fgetc(file_)) != EOF;)
                text_ += char(c);
            std::fclose(file_);
        }
        return text_;
    }

private:
    FILE* file_;
    int saved_;
    std::string text_;
};

// The real single-copy lock behind the settings window. A usable lock is taken
// without a word and refuses a second copy; one that cannot be used (here a
// folder stands in its place) lets the program start, and says so in one line
// on standard error.
TEST(SettingsWindowStart, SingleCopyLock)
{
    test::TestApplication();
    const test::TempFolder folder("kalvio-runtime");
    const std::string runtime = folder.path().string();
    ASSERT_EQ(chmod(runtime.c_str(), 0700), 0);
    const std::string lockPath = runtime + "/kalvio.lock";
    test::EnvOverride env("XDG_RUNTIME_DIR", runtime);
    for (const bool usable : { true, false }) {
        SCOPED_TRACE(usable ? "usable" : "unusable");
        if (!usable) {
            std::filesystem::remove(lockPath);
            ASSERT_EQ(mkdir(lockPath.c_str(), 0700), 0);
        }
        ShowState state;
        int boxes = 0;
        SettingsServices s;
        s.alreadyRunningBox = [&](QWidget*) { ++boxes; };
        StderrCapture capture;
        {
            Tfrm_kalvio first(state, s);
            EXPECT_FALSE(first.Refused());
            if (usable) {
                Tfrm_kalvio second(state, s);
                EXPECT_TRUE(second.Refused());
                EXPECT_EQ(boxes, 1);
            }
        }
        std::vector<std::string> said;
        std::istringstream lines(capture.Text());
        for (std::string line; std::getline(lines, line);)
            if (line.find("single-copy") != std::string::npos)
                said.push_back(line);
        if (usable) {
            EXPECT_TRUE(said.empty());
        } else {
            ASSERT_EQ(said.size(), 1u);
            EXPECT_NE(said[0].find(lockPath), std::string::npos) << said[0];
        }
    }
}

TEST(MessageBoxesTest, WarningAndAlreadyRunningBoxes)
{
    test::TestApplication();
    auto warning = MakeWarningBox(nullptr, QString::fromUtf8(NoPicturesText));
    EXPECT_EQ(warning->windowTitle(), QString::fromUtf8("请注意"));
    EXPECT_EQ(warning->text(), QString::fromUtf8(NoPicturesText));
    EXPECT_EQ(warning->icon(), QMessageBox::Critical);
    EXPECT_EQ(warning->buttons().size(), 1);
    EXPECT_EQ(warning->standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(warning->windowModality(), Qt::ApplicationModal);
    EXPECT_TRUE(warning->windowFlags() & Qt::WindowStaysOnTopHint);

    auto running = MakeAlreadyRunningBox(nullptr);
    EXPECT_EQ(running->windowTitle(), QString());
    EXPECT_EQ(running->text(), QString::fromUtf8("“Kalvio”已运行！"));
    EXPECT_EQ(running->icon(), QMessageBox::Information);
    EXPECT_EQ(running->standardButtons(), QMessageBox::Ok);
}

}
