# SPDX-License-Identifier: GPL-3.0-or-later
'''Stand-in for GNOME's session manager.'''

BUS_NAME = 'org.gnome.SessionManager'
MAIN_OBJ = '/org/gnome/SessionManager'
MAIN_IFACE = 'org.gnome.SessionManager'
SYSTEM_BUS = False


def load(mock, _parameters):
    mock.AddMethods(MAIN_IFACE, [
        ('Inhibit', 'susu', 'u', 'ret = 4242'),
        ('Uninhibit', 'u', '', ''),
    ])
