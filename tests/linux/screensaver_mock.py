'''A python3-dbusmock template of the freedesktop screen saver (org.freedesktop.ScreenSaver):
GetActive, SetActive with its ActiveChanged signal, and Inhibit/UnInhibit handing out cookies
from 42 on. Active from its start when the parameter "active" is true.'''

BUS_NAME = 'org.freedesktop.ScreenSaver'
MAIN_OBJ = '/org/freedesktop/ScreenSaver'
MAIN_IFACE = 'org.freedesktop.ScreenSaver'
SYSTEM_BUS = False


def load(mock, parameters):
    mock.active = bool(parameters.get('active', False))
    mock.cookie = 41
    mock.AddMethods(MAIN_IFACE, [
        ('GetActive', '', 'b', 'ret = self.active'),
        ('SetActive', 'b', '', 'self.active = args[0]; self.EmitSignal("", "ActiveChanged", "b", [self.active])'),
        ('Inhibit', 'ss', 'u', 'self.cookie += 1; ret = self.cookie'),
        ('UnInhibit', 'u', '', ''),
    ])
