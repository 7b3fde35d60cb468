// SPDX-License-Identifier: GPL-3.0-or-later
// On X11 the real show tells the desktop which window shows, and keeps the X
// server's own screen saver off until the show ends. Run under Xvfb and
// dbus-run-session with session-bus.conf.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <optional>
#include <qguiapplication_platform.h>

#include "app/RealShow.h"

// After Qt and GoogleTest: Xlib's macros (None, Bool, Status) clash with them.
#include <X11/extensions/scrnsaver.h>

using kalvio::test::RealShow;
using kalvio::test::ServiceMock;

namespace {

// The desktop is told the window; the X server's screen saver, set here to
// start after one idle second, stays off until the show ends.
struct X11Case {
    const char* name;
    const char* templateName;
    const char* busName;
    std::function<std::string(WId window)> inhibitCall;
};

const X11Case X11Cases[] = {
    { "Portal", "portal", "org.freedesktop.portal.Desktop",
      [](WId w) { return "Inhibit \"x11:" + QString::number(w, 16).toStdString() + R"(" 8 {"reason": "正在播放幻灯片"})"; } },
    { "GnomeSession", "gnome_session", "org.gnome.SessionManager",
      [](WId w) { return "Inhibit \"kalvio\" " + std::to_string(w) + R"( "正在播放幻灯片" 8)"; } },
};

void PrintTo(const X11Case& c, std::ostream* out)
{
    *out << c.name;
}

class ScreenAwakeOnX11 : public ::testing::TestWithParam<X11Case> { };

int XScreenSaverState(Display* display)
{
    XScreenSaverInfo info{};
    XScreenSaverQueryInfo(display, DefaultRootWindow(display), &info);
    return info.state;
}

TEST_P(ScreenAwakeOnX11, WindowNamedAndXScreenSaverSuspended)
{
    RealShow show;
    ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "run under Xvfb";
    Display* display = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->display();
    int eventBase = 0;
    int errorBase = 0;
    ASSERT_TRUE(XScreenSaverQueryExtension(display, &eventBase, &errorBase));
    XSetScreenSaver(display, 1, 0, DefaultBlanking, DefaultExposures);
    XFlush(display);

    ServiceMock mock(GetParam().templateName, GetParam().busName, nullptr);
    std::optional<int> stateDuringShow;
    show.Play([&](QWidget& slide) {
        if (stateDuringShow)
            return;
        kalvio::test::WaitUntil([&] { return !mock.Calls().empty(); }, kalvio::test::kHangMs);
        EXPECT_EQ(mock.Calls(), std::vector<std::string>{ GetParam().inhibitCall(slide.winId()) });
        // As a key press would; the saver may have started before the show.
        XResetScreenSaver(display);
        kalvio::test::WaitUntil([] { return false; }, 2500);
        stateDuringShow = XScreenSaverState(display);
    });
    ASSERT_TRUE(stateDuringShow) << "the slideshow window did not show";
    EXPECT_NE(*stateDuringShow, ScreenSaverOn) << "the screen saver started during the show";
    EXPECT_TRUE(kalvio::test::WaitUntil([&] { return XScreenSaverState(display) == ScreenSaverOn; }, kalvio::test::kHangMs))
        << "the screen saver did not start after the show";
    EXPECT_TRUE(kalvio::test::WaitUntil([&] { return mock.Calls().size() == 2; }, kalvio::test::kHangMs)) << "not released";
    EXPECT_TRUE(show.reports.empty()) << show.reports.front();
    XSetScreenSaver(display, 0, 0, DefaultBlanking, DefaultExposures);
    XFlush(display);
}

INSTANTIATE_TEST_SUITE_P(OnX11, ScreenAwakeOnX11, ::testing::ValuesIn(X11Cases),
                         [](const auto& info) { return std::string(info.param.name); });

}
