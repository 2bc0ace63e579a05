'''python3-dbusmock's logind that knows one session from its start, as a restarted logind does:
"session" is its id (default "c1"); it is locked when "locked" is true.'''

import dbus
from dbusmock import mockobject
from dbusmock.templates import logind
from dbusmock.templates.logind import *  # noqa: F401,F403 (the template's methods)

BUS_NAME = logind.BUS_NAME
MAIN_OBJ = logind.MAIN_OBJ
MAIN_IFACE = logind.MAIN_IFACE
SYSTEM_BUS = True


def load(mock, parameters):
    logind.load(mock, parameters)
    session = parameters.get('session', 'c1')
    mock.AddSession(session, 'seat0', dbus.UInt32(1000), 'someone', True)
    # Set before the service answers anyone: no change is announced.
    path = f'/org/freedesktop/login1/session/{session}'
    mockobject.objects[path].props['org.freedesktop.login1.Session']['LockedHint'] = bool(parameters.get('locked'))
