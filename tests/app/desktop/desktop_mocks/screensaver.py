# SPDX-License-Identifier: GPL-3.0-or-later
'''Stand-in for org.freedesktop.ScreenSaver (KDE, Xfce, LXQt, MATE, Cinnamon).

Parameters: {"delay": SECONDS} makes Inhibit answer that late.
'''

BUS_NAME = 'org.freedesktop.ScreenSaver'
MAIN_OBJ = '/org/freedesktop/ScreenSaver'
MAIN_IFACE = 'org.freedesktop.ScreenSaver'
SYSTEM_BUS = False


def load(mock, parameters):
    delay = float(parameters.get('delay', 0))
    mock.AddMethods(MAIN_IFACE, [
        ('Inhibit', 'ss', 'u', f'time.sleep({delay}); ret = 4242'),
        ('UnInhibit', 'u', '', ''),
    ])
