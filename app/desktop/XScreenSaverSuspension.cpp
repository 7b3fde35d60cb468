// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/XScreenSaverSuspension.h"

#include <QGuiApplication>
#include <qguiapplication_platform.h>

// After Qt: Xlib's macros (None, Bool, Status) clash with Qt's names.
#include <X11/extensions/scrnsaver.h>

namespace kalvio {

namespace {

Display* XDisplay()
{
    auto* app = qGuiApp;
    if (!app || QGuiApplication::platformName() != "xcb")
        return nullptr;
    auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->display() : nullptr;
}

bool Suspend(bool suspend)
{
    Display* display = XDisplay();
    int eventBase = 0;
    int errorBase = 0;
    if (!display || !XScreenSaverQueryExtension(display, &eventBase, &errorBase))
        return false;
    XScreenSaverSuspend(display, suspend ? True : False);
    XFlush(display);
    return true;
}

}

XScreenSaverSuspension::~XScreenSaverSuspension()
{
    Release();
}

void XScreenSaverSuspension::Inhibit(QWindow*)
{
    if (!suspended_)
        suspended_ = Suspend(true);
}

void XScreenSaverSuspension::Release()
{
    if (suspended_)
        Suspend(false);
    suspended_ = false;
}

}
