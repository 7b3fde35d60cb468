// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusMessage>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace kalvio {

// What a desktop is told when the show keeps the screen awake.
struct InhibitRequest {
    QString appName;    // the program's name, shown to the user
    QString appId;      // its desktop entry's name without ".desktop"
    QString reason;     // why, shown to the user
    quint32 xid = 0;    // the X window shown, 0 when not on X11
    QString windowId;   // the portal's form of the window ("x11:<hex>"), or empty
};

// A session-bus service that keeps the screen from idling: the call that asks
// for it, and the call that gives back what the reply granted.
class IdleInhibitService {
public:
    virtual ~IdleInhibitService() = default;
    virtual QDBusMessage InhibitCall(const InhibitRequest& request) const = 0;
    // Nothing when the reply is not a grant this service hands out.
    virtual std::optional<QDBusMessage> ReleaseCall(const QDBusMessage& reply) const = 0;
};

// The desktop portal's Inhibit (idle); its grant is a request object to close.
std::shared_ptr<const IdleInhibitService> PortalInhibit();
// org.freedesktop.ScreenSaver (KDE, Xfce, LXQt, MATE, Cinnamon); a cookie.
std::shared_ptr<const IdleInhibitService> FreedesktopScreenSaverInhibit();
// GNOME's session manager (idle); a cookie.
std::shared_ptr<const IdleInhibitService> GnomeSessionInhibit();

// The services in the order they are tried: the portal speaks for every
// desktop that has one, the others for desktops without it.
std::vector<std::shared_ptr<const IdleInhibitService>> DesktopInhibitServices();

}
