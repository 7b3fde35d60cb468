// SPDX-License-Identifier: GPL-3.0-or-later
// The real show, played through the settings window, keeps the screen awake
// through whichever desktop service is on a private session bus: stand-ins
// (python-dbusmock, desktop_mocks/) log the calls they get. Run under
// dbus-run-session with session-bus.conf; the NoSessionBus case runs without
// a bus.

#include <gtest/gtest.h>

#include <QWidget>
#include <memory>

#include "app/RealShow.h"

using namespace kalvio;
using kalvio::test::RealShow;
using kalvio::test::ServiceMock;

namespace {

struct MockSpec {
    const char* templateName;
    const char* busName;
    const char* parameters;
    // What it logs while the show runs, and then at its end; nothing when a
    // service before it took the call.
    std::vector<std::string> whileShown;
    std::vector<std::string> atEnd;

    std::vector<std::string> AfterShow() const
    {
        std::vector<std::string> all = whileShown;
        all.insert(all.end(), atEnd.begin(), atEnd.end());
        return all;
    }
};

const MockSpec Portal = { "portal", "org.freedesktop.portal.Desktop", nullptr,
                          { R"(Inhibit "" 8 {"reason": "正在播放幻灯片"})" }, { "Close" } };
const MockSpec ScreenSaver = { "screensaver", "org.freedesktop.ScreenSaver", nullptr,
                               { R"(Inhibit "Kalvio" "正在播放幻灯片")" }, { "UnInhibit 4242" } };
const MockSpec GnomeSession = { "gnome_session", "org.gnome.SessionManager", nullptr,
                                { R"(Inhibit "kalvio" 0 "正在播放幻灯片" 8)" }, { "Uninhibit 4242" } };
// A portal without an Inhibit backend: the call fails and the next service
// takes it.
const MockSpec PortalWithoutBackend = { "portal", "org.freedesktop.portal.Desktop", R"({"fail": true})",
                                        { R"(Inhibit "" 8 {"reason": "正在播放幻灯片"})",
                                          "Inhibit raised: org.freedesktop.portal.Error.NotFound: no backend" },
                                        {} };

// A service that answers after the show has ended: what it grants then is
// given back at once.
const MockSpec SlowScreenSaver = { "screensaver", "org.freedesktop.ScreenSaver", R"({"delay": 1.5})",
                                   { R"(Inhibit "Kalvio" "正在播放幻灯片")" }, { "UnInhibit 4242" } };

MockSpec Unused(MockSpec spec)
{
    spec.whileShown.clear();
    spec.atEnd.clear();
    return spec;
}

struct BusCase {
    const char* name;
    std::vector<MockSpec> services;   // started in this order
};

const BusCase BusCases[] = {
    { "Portal", { Portal } },
    { "ScreenSaver", { ScreenSaver } },
    { "GnomeSession", { GnomeSession } },
    { "PortalBeforeTheOthers", { Portal, Unused(ScreenSaver), Unused(GnomeSession) } },
    { "ScreenSaverBeforeGnome", { ScreenSaver, Unused(GnomeSession) } },
    { "PortalWithoutBackendFallsBack", { PortalWithoutBackend, ScreenSaver } },
    { "GrantArrivingAfterTheShow", { SlowScreenSaver } },
    { "NoService", {} },
};

void PrintTo(const BusCase& c, std::ostream* out)
{
    *out << c.name;
}

class ScreenAwakeTest : public ::testing::TestWithParam<BusCase> { };

TEST_P(ScreenAwakeTest, OneInhibitionPerShowReleasedAtItsEnd)
{
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) << "run under dbus-run-session";
    RealShow show;
    std::vector<std::unique_ptr<ServiceMock>> mocks;
    for (const MockSpec& spec : GetParam().services)
        mocks.push_back(std::make_unique<ServiceMock>(spec.templateName, spec.busName, spec.parameters));

    // The first call of each service that takes one, and nothing more, both
    // when the window has shown and after a pause and a continue.
    auto heldOnly = [&](QWidget&) {
        for (size_t i = 0; i < mocks.size(); ++i) {
            const auto& expected = GetParam().services[i].whileShown;
            test::WaitUntil([&] { return mocks[i]->Calls().size() >= expected.size(); }, test::kHangMs);
            EXPECT_EQ(mocks[i]->Calls(), expected) << mocks[i]->Name() << " while the show runs";
        }
    };
    show.Play(heldOnly);
    EXPECT_TRUE(show.shown) << "the slideshow window did not show";

    for (size_t i = 0; i < mocks.size(); ++i) {
        const auto expected = GetParam().services[i].AfterShow();
        test::WaitUntil([&] { return mocks[i]->Calls().size() >= expected.size(); }, test::kHangMs);
        test::WaitUntil([] { return false; }, expected.empty() ? 300 : 0);   // nothing more comes
        EXPECT_EQ(mocks[i]->Calls(), expected) << mocks[i]->Name() << " after the show";
    }
    EXPECT_TRUE(show.reports.empty()) << show.reports.front();
}

INSTANTIATE_TEST_SUITE_P(Services, ScreenAwakeTest, ::testing::ValuesIn(BusCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Without a session bus the show runs as before and nothing is reported.
TEST(ScreenAwakeWithoutBus, NoSessionBus)
{
    ASSERT_TRUE(qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) << "run without a session bus";
    RealShow show;
    show.Play([](QWidget&) { });
    EXPECT_TRUE(show.shown);
    EXPECT_FALSE(show.window->isVisible()) << "the show ended and the settings window closed";
    EXPECT_TRUE(show.reports.empty()) << show.reports.front();
}

}
