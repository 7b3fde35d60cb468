// SPDX-License-Identifier: GPL-3.0-or-later
// The show opens on the screen that holds the settings window. Qt's offscreen
// platform is given two screens of different sizes side by side; the settings
// window is placed on each in turn and Play runs the real slideshow window.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "app/QtTestApp.h"
#include "app/Tfrm_kalvio.h"
#include "slideshow/Tfrm_slide.h"

using namespace kalvio;

namespace {

// Must run before the application exists: the platform reads it at start.
void UseTwoScreens()
{
    const QString config = QDir::temp().filePath("kalvio-two-screens.json");
    QFile file(config);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(R"({ "screens": [
        { "name": "left", "x": 0, "y": 0, "width": 1024, "height": 768 },
        { "name": "right", "x": 1024, "y": 0, "width": 1280, "height": 800 } ] })");
    file.close();
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).toUtf8());
}

}

TEST(ShowScreen, ShowCoversTheScreenOfTheSettingsWindow)
{
    UseTwoScreens();
    QApplication& app = test::TestApplication();
    const QList<QScreen*> screens = app.screens();
    ASSERT_EQ(screens.size(), 2);
    ASSERT_EQ(app.primaryScreen(), screens[0]);

    for (QScreen* screen : screens) {
        SCOPED_TRACE(screen->name().toStdString());
        ShowState state;
        SettingsServices s;
        s.acquireSingleCopy = [] { return true; };
        s.warn = [](QWidget*, const QString& text) { ADD_FAILURE() << text.toStdString(); };
        s.scanFolders = [](const std::string&, const std::optional<std::string>&, ScanProgress*) {
            ShowScanResult result;
            result.pictures = { std::string(KALVIO_TEST_DATA) + "/show/testorig.jpg" };
            return result;
        };
        // Music is off; its folder's scan finds nothing and fails nothing.
        s.scanMusic = [](const std::string&, ScanProgress*) { return ShowScanResult {}; };
        Tfrm_kalvio settings(state, s);
        settings.move(screen->geometry().topLeft() + QPoint(40, 40));
        settings.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&settings));
        ASSERT_EQ(settings.screen(), screen);

        QScreen* shownOn = nullptr;
        QRect shownAt;
        test::WhenModal<Tfrm_slide>([&](Tfrm_slide& slide) {
            test::WaitUntil([&] { return slide.geometry() == slide.screen()->geometry(); }, test::kHangMs);
            shownOn = slide.screen();
            shownAt = slide.geometry();
            slide.N4Click();
        });
        settings.e_imagedir->setText("/pictures");
        settings.RzButton3Click();
        ASSERT_TRUE(test::WaitUntil([&] { return !settings.isVisible(); }, 60000)) << "no show";
        EXPECT_EQ(shownOn, screen);
        EXPECT_EQ(shownAt, screen->geometry());
    }
}
