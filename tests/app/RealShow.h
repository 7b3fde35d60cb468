// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QKeyEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "QtTestApp.h"
#include "app/ErrorReport.h"
#include "app/Tfrm_kalvio.h"
#include "slideshow/Tfrm_slide.h"

namespace kalvio::test {

// A stand-in for one desktop service, on the session bus while it lives.
// Started with posix_spawn rather than QProcess: Qt starts programs through
// clone() with a pidfd, which qemu-user (the arm64 suite runs under it)
// refuses, so no QProcess starts there. Its output goes to files.
class ServiceMock {
public:
    ServiceMock(const char* templateName, const char* busName, const char* parameters)
        : templateName_(templateName)
    {
        const std::string mock = std::string(KALVIO_DESKTOP_MOCKS "/") + templateName + ".py";
        // Unbuffered: each call is in the file as soon as it is logged.
        std::vector<const char*> argv = { KALVIO_SYSTEM_PYTHON, "-u", "-m", "dbusmock", "--session", "-t",
                                          mock.c_str() };
        if (parameters) {
            argv.push_back("-p");
            argv.push_back(parameters);
        }
        argv.push_back(nullptr);
        const std::string out = Output("out"), err = Output("err");
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int failed = posix_spawn(&pid_, argv[0], &files, nullptr, const_cast<char* const*>(argv.data()), environ);
        posix_spawn_file_actions_destroy(&files);
        if (failed != 0) {
            pid_ = -1;
            ADD_FAILURE() << templateName << " did not start: " << std::strerror(failed);
            return;
        }
        // Until its name is on the bus, or it has ended.
        const bool up = test::WaitUntil(
            [&] { return Ended() || QDBusConnection::sessionBus().interface()->isServiceRegistered(busName).value(); },
            test::kHangMs) && !Ended();
        EXPECT_TRUE(up) << templateName << " did not come up: " << Read(err);
    }
    ~ServiceMock()
    {
        if (pid_ <= 0 || Ended())
            return;
        kill(pid_, SIGTERM);
        if (!test::WaitUntil([&] { return Ended(); }, 5000)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    ServiceMock(const ServiceMock&) = delete;
    ServiceMock& operator=(const ServiceMock&) = delete;

    // The calls logged so far, without their time stamps.
    std::vector<std::string> Calls() const
    {
        std::vector<std::string> calls;
        for (const QByteArray& line : QByteArray::fromStdString(Read(Output("out"))).split('\n'))
            if (const qsizetype space = line.indexOf(' '); space > 0)
                calls.push_back(line.mid(space + 1).toStdString());
        return calls;
    }

    const char* Name() const { return templateName_; }

private:
    std::string Output(const char* which) const
    {
        return dir_.filePath(QString::fromUtf8(which)).toStdString();
    }
    static std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // True once the program has ended (and is reaped).
    bool Ended()
    {
        if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == pid_)
            pid_ = 0;
        return pid_ == 0;
    }

    const char* templateName_;
    QTemporaryDir dir_;
    pid_t pid_ = -1;
};

inline void Key(QWidget& w, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &press);
}

// Plays a show through the settings window's Play with the real slideshow
// window; while it runs, pauses, continues and ends it with the keys. `during`
// runs once the window shows and again after the pause and continue; it is
// given the slideshow window.
class RealShow {
public:
    RealShow()
    {
        auto& app = test::TestApplication<KalvioApplication>();
        app.SetReportHook([this](const QString& text, const QString&) { reports.push_back(text.toStdString()); });
        SettingsServices s;
        s.acquireSingleCopy = [] { return true; };
        s.browseFolder = [](QWidget*, const QString&) { return QString(KALVIO_TEST_DATA "/show"); };
        s.warn = [this](QWidget*, const QString& text) { reports.push_back(text.toStdString()); };
        window = std::make_unique<Tfrm_kalvio>(state, s);
    }
    ~RealShow() { test::TestApplication<KalvioApplication>().SetReportHook({}); }

    void Play(const std::function<void(QWidget& slide)>& during)
    {
        window->show();
        window->RzButton1->click();
        // The browser answers once its start folder did.
        EXPECT_TRUE(test::WaitUntil([&] { return !window->Browsing(); }, test::kHangMs));
        test::WhenModal<Tfrm_slide>([&](Tfrm_slide& slide) {
            shown = true;
            during(slide);
            Key(slide, Qt::Key_Space);
            test::WaitUntil([] { return false; }, 200);
            Key(slide, Qt::Key_Space);
            during(slide);
            Key(slide, Qt::Key_Escape);
        });
        window->RzButton3->click();
        // The show runs once the scan is back; it ends the settings window.
        EXPECT_TRUE(test::WaitUntil([&] { return !window->isVisible() || !reports.empty(); }, 60000));
    }

    ShowState state;
    std::unique_ptr<Tfrm_kalvio> window;
    std::vector<std::string> reports;
    bool shown = false;
};

}
