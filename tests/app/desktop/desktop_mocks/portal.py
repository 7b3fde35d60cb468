# SPDX-License-Identifier: GPL-3.0-or-later
'''Stand-in for the desktop portal's Inhibit interface.

Parameters: {"fail": true} makes Inhibit fail as a portal without an
Inhibit backend does.
'''

import dbus

BUS_NAME = 'org.freedesktop.portal.Desktop'
MAIN_OBJ = '/org/freedesktop/portal/desktop'
MAIN_IFACE = 'org.freedesktop.portal.Inhibit'
SYSTEM_BUS = False

REQUEST = '/org/freedesktop/portal/desktop/request/1_1/kalvio'


def load(mock, parameters):
    if parameters.get('fail'):
        code = ('raise dbus.exceptions.DBusException("no backend", '
                'name="org.freedesktop.portal.Error.NotFound")')
    else:
        code = f'ret = dbus.ObjectPath("{REQUEST}")'
    mock.AddMethod(MAIN_IFACE, 'Inhibit', 'sua{sv}', 'o', code)
    mock.AddObject(REQUEST, 'org.freedesktop.portal.Request', {}, [('Close', '', '', '')])
    assert dbus  # the method code raises through this module's dbus
