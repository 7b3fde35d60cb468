// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/BusIdleInhibitor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QWindow>
#include <optional>
#include <system_error>
#include <thread>

#include "app/ProgramIdentity.h"
#include "slideshow/ThreadJoiner.h"

namespace kalvio {

namespace {

Q_LOGGING_CATEGORY(inhibitLog, "kalvio.inhibit", QtWarningMsg)

// A service that does not answer in this time is passed over.
constexpr int CallTimeoutMs = 5000;

// Only a bus the session announces: connecting to none would start one
// through X11 autolaunch, with no desktop service on it.
bool SessionBusAnnounced()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + "/bus");
}

InhibitRequest RequestFor(QWindow* window)
{
    InhibitRequest request;
    request.appName = ProgramName;
    request.appId = DesktopEntryId;
    request.reason = QString::fromUtf8(InhibitReason);
    if (window && QGuiApplication::platformName() == "xcb") {
        request.xid = static_cast<quint32>(window->winId());
        request.windowId = "x11:" + QString::number(request.xid, 16);
    }
    return request;
}

}

// One inhibition, shared with the calls in flight so that a late grant is
// still given back.
struct BusIdleInhibitor::Hold {
    std::optional<QDBusConnection> bus; // once connected
    std::vector<std::shared_ptr<const IdleInhibitService>> services;
    InhibitRequest request;
    size_t next = 0;
    bool released = false;
    std::optional<QDBusMessage> releaseCall;

    static void TryNext(const std::shared_ptr<Hold>& hold);
};

void BusIdleInhibitor::Hold::TryNext(const std::shared_ptr<Hold>& hold)
{
    if (hold->released || !hold->bus || hold->next >= hold->services.size())
        return;
    const auto service = hold->services[hold->next++];
    const QDBusPendingCall pending = hold->bus->asyncCall(service->InhibitCall(hold->request), CallTimeoutMs);
    auto* watcher = new QDBusPendingCallWatcher(pending, QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [hold, service](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusMessage reply = w->reply();
        std::optional<QDBusMessage> release;
        if (reply.type() == QDBusMessage::ReplyMessage)
            release = service->ReleaseCall(reply);
        if (!release) {
            qCDebug(inhibitLog) << "not kept awake by" << reply.errorName() << reply.errorMessage();
            TryNext(hold);
            return;
        }
        if (hold->released)
            hold->bus->send(*release);
        else
            hold->releaseCall = std::move(release);
    });
}

BusIdleInhibitor::BusIdleInhibitor(std::vector<std::shared_ptr<const IdleInhibitService>> services)
    : services_(std::move(services))
{
}

BusIdleInhibitor::~BusIdleInhibitor()
{
    Release();
}

void BusIdleInhibitor::Inhibit(QWindow* window)
{
    if (hold_ || !SessionBusAnnounced())
        return;
    hold_ = std::make_shared<Hold>();
    hold_->services = services_;
    hold_->request = RequestFor(window);
    // Connecting waits for the bus's answer: a thread of its own does it, and
    // the first call goes out from the event loop once it is connected. A bus
    // that never answers leaves the screen to the desktop.
    try {
        JoinInBackground(std::thread([hold = hold_] {
            const QDBusConnection bus = QDBusConnection::sessionBus();
            QMetaObject::invokeMethod(QCoreApplication::instance(), [hold, bus] {
                if (!bus.isConnected())
                    return;
                hold->bus = bus;
                Hold::TryNext(hold);
            }, Qt::QueuedConnection);
        }));
    } catch (const std::system_error&) {
        // No thread to spare: the screen is left to the desktop.
    }
}

void BusIdleInhibitor::Release()
{
    if (!hold_)
        return;
    hold_->released = true;
    if (hold_->releaseCall)
        hold_->bus->send(*hold_->releaseCall);
    hold_.reset();
}

}
