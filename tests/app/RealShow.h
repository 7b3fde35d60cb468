// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QKeyEvent>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "QtTestApp.h"
#include "app/ErrorReport.h"
#include "app/Tfrm_kalvio.h"
#include "slideshow/Tfrm_slide.h"

namespace kalvio::test {

// A stand-in for one desktop service, on the session bus while it lives.
class ServiceMock {
public:
    ServiceMock(const char* templateName, const char* busName, const char* parameters)
        : templateName_(templateName)
    {
        QStringList args = { "-m", "dbusmock", "--session", "-t",
                             QString(KALVIO_DESKTOP_MOCKS "/") + templateName + ".py" };
        if (parameters)
            args << "-p" << parameters;
        process_.start(KALVIO_SYSTEM_PYTHON, args);
        const bool up = test::WaitUntil(
            [&] { return QDBusConnection::sessionBus().interface()->isServiceRegistered(busName).value(); },
            test::kHangMs);
        EXPECT_TRUE(up) << templateName << " did not come up: "
                        << process_.readAllStandardError().toStdString();
    }
    ~ServiceMock()
    {
        process_.terminate();
        process_.waitForFinished(5000);
    }

    // The calls logged so far, without their time stamps.
    std::vector<std::string> Calls()
    {
        log_ += process_.readAllStandardOutput();
        std::vector<std::string> calls;
        for (const QByteArray& line : log_.split('\n'))
            if (const qsizetype space = line.indexOf(' '); space > 0)
                calls.push_back(line.mid(space + 1).toStdString());
        return calls;
    }

    const char* Name() const { return templateName_; }

private:
    const char* templateName_;
    QProcess process_;
    QByteArray log_;
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
