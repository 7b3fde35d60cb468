// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/IdleInhibitServices.h"

#include <QDBusObjectPath>
#include <QVariantMap>

namespace kalvio {

namespace {

// The flag both the portal and GNOME's session manager use for "idle".
constexpr quint32 InhibitIdle = 8;

class Portal : public IdleInhibitService {
public:
    QDBusMessage InhibitCall(const InhibitRequest& request) const override
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
            "org.freedesktop.portal.Inhibit", "Inhibit");
        call << request.windowId << InhibitIdle << QVariantMap{ { "reason", request.reason } };
        return call;
    }
    std::optional<QDBusMessage> ReleaseCall(const QDBusMessage& reply) const override
    {
        if (reply.arguments().size() != 1 || !reply.arguments()[0].canConvert<QDBusObjectPath>())
            return std::nullopt;
        const QString handle = reply.arguments()[0].value<QDBusObjectPath>().path();
        return QDBusMessage::createMethodCall("org.freedesktop.portal.Desktop", handle,
                                              "org.freedesktop.portal.Request", "Close");
    }
};

// A service whose grant is a cookie, given back to `releaseMethod` of the
// same object.
class CookieService : public IdleInhibitService {
public:
    CookieService(const char* name, const char* path, const char* releaseMethod)
        : name_(name), path_(path), releaseMethod_(releaseMethod)
    {
    }
    std::optional<QDBusMessage> ReleaseCall(const QDBusMessage& reply) const override
    {
        if (reply.arguments().size() != 1 || reply.arguments()[0].userType() != QMetaType::UInt)
            return std::nullopt;
        QDBusMessage call = Call(releaseMethod_);
        call << reply.arguments()[0];
        return call;
    }

protected:
    QDBusMessage Call(const char* method) const
    {
        return QDBusMessage::createMethodCall(name_, path_, name_, method);
    }

private:
    const char* name_;
    const char* path_;
    const char* releaseMethod_;
};

class FreedesktopScreenSaver : public CookieService {
public:
    FreedesktopScreenSaver()
        : CookieService("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "UnInhibit")
    {
    }
    QDBusMessage InhibitCall(const InhibitRequest& request) const override
    {
        QDBusMessage call = Call("Inhibit");
        call << request.appName << request.reason;
        return call;
    }
};

class GnomeSession : public CookieService {
public:
    GnomeSession() : CookieService("org.gnome.SessionManager", "/org/gnome/SessionManager", "Uninhibit") { }
    QDBusMessage InhibitCall(const InhibitRequest& request) const override
    {
        QDBusMessage call = Call("Inhibit");
        call << request.appId << request.xid << request.reason << InhibitIdle;
        return call;
    }
};

}

std::shared_ptr<const IdleInhibitService> PortalInhibit()
{
    return std::make_shared<Portal>();
}

std::shared_ptr<const IdleInhibitService> FreedesktopScreenSaverInhibit()
{
    return std::make_shared<FreedesktopScreenSaver>();
}

std::shared_ptr<const IdleInhibitService> GnomeSessionInhibit()
{
    return std::make_shared<GnomeSession>();
}

std::vector<std::shared_ptr<const IdleInhibitService>> DesktopInhibitServices()
{
    return { PortalInhibit(), FreedesktopScreenSaverInhibit(), GnomeSessionInhibit() };
}

}
