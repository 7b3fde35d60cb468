'''Stand-in for org.freedesktop.ScreenSaver (KDE, Xfce, LXQt, MATE, Cinnamon).'''

BUS_NAME = 'org.freedesktop.ScreenSaver'
MAIN_OBJ = '/org/freedesktop/ScreenSaver'
MAIN_IFACE = 'org.freedesktop.ScreenSaver'
SYSTEM_BUS = False


def load(mock, _parameters):
    mock.AddMethods(MAIN_IFACE, [
        ('Inhibit', 'ss', 'u', 'ret = 4242'),
        ('UnInhibit', 'u', '', ''),
    ])
