// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "QtTestApp.h"
#include "app/HomePage.h"
#include "app/LinkLabel.h"
#include "app/Tfrm_about.h"

using namespace kalvio;

namespace {

const QColor Maroon(0x80, 0, 0);

TEST(AboutWindowTest, FrameAndContents)
{
    test::TestApplication();
    Tfrm_about about;
    EXPECT_EQ(about.windowTitle(), QString::fromUtf8("关于"));
    EXPECT_EQ(about.size(), QSize(325, 203));
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    EXPECT_TRUE(about.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(about.windowFlags() & Qt::WindowMinimizeButtonHint);

    struct Item {
        const char* name;
        QRect place;
        const char* text;   // nullptr for the rules
        QColor colour;
    };
    const Item items[] = {
        { "Label4", { 27, 26, 124, 29 }, "Kalvio", Maroon },
        { "Shape1", { 31, 60, 274, 1 }, nullptr, Maroon },
        { "Label_ver", { 31, 72, 54, 12 }, "版本：2.0", Maroon },
        { "Label5", { 31, 108, 138, 12 }, "绿色/免安装/无插件/免费", QColor(0, 0x80, 0) },
        { "Label2", { 31, 126, 60, 12 }, "软件主页：", Maroon },
        { "Label_url", { 94, 126, 90, 12 }, "kalvio.app", QColor(0, 0, 0x80) },
        { "Shape2", { 27, 151, 274, 1 }, nullptr, Maroon },
    };
    for (const Item& item : items) {
        SCOPED_TRACE(item.name);
        QWidget* w = about.findChild<QWidget*>(item.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->geometry(), item.place);
        if (item.text) {
            EXPECT_EQ(qobject_cast<QLabel*>(w)->text(), QString::fromUtf8(item.text));
            EXPECT_EQ(w->palette().color(QPalette::WindowText), item.colour);
            EXPECT_FALSE(w->autoFillBackground()) << "transparent";
        } else {
            EXPECT_EQ(w->palette().color(QPalette::Window), item.colour);
            EXPECT_TRUE(w->autoFillBackground());
        }
    }
    QFont title = about.findChild<QLabel*>("Label4")->font();
    EXPECT_TRUE(title.bold());
    EXPECT_EQ(title.pixelSize(), 29);
    EXPECT_EQ(about.findChild<QLabel*>("Label5")->font().pixelSize(), 12);
    EXPECT_EQ(about.findChild<QWidget*>("Label_url")->cursor().shape(), Qt::PointingHandCursor);

    auto* button = about.findChild<QPushButton*>("Button1");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->geometry(), QRect(226, 166, 75, 25));
    EXPECT_EQ(button->text(), QString::fromUtf8("确定(&S)"));
}

TEST(AboutWindowTest, LinkOpensTheHomePageAndKeepsTheWindowOpen)
{
    test::TestApplication();
    std::vector<QUrl> opened;
    Tfrm_about about([&](const QUrl& url) { opened.push_back(url); });
    about.show();
    auto* link = about.findChild<LinkLabel*>("Label_url");
    emit link->mouseEntered();
    EXPECT_TRUE(link->font().underline());
    emit link->clicked();
    EXPECT_EQ(opened, std::vector<QUrl> { QUrl(HomePageAddress) });
    EXPECT_TRUE(about.isVisible());
    emit link->mouseLeft();
    EXPECT_FALSE(link->font().underline());
}

TEST(AboutWindowTest, ShowAboutBoxIsModalAndFreshEachTime)
{
    test::TestApplication();
    // Each round presses the OK button of the about window that is up.
    for (int round = 0; round < 2; ++round) {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* about = qobject_cast<Tfrm_about*>(QApplication::activeModalWidget());
            ASSERT_NE(about, nullptr);
            seen = true;
            EXPECT_FALSE(about->findChild<QLabel*>("Label_url")->font().underline());
            emit about->findChild<LinkLabel*>("Label_url")->mouseEntered();   // left underlined
            about->findChild<QPushButton*>("Button1")->click();
        });
        ShowAboutBox([](const QUrl&) { });
        EXPECT_TRUE(seen);
    }
}

}
