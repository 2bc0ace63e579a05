'''A python3-dbusmock template of GeoClue2: a manager that hands out one client whose Start is
refused (parameter "deny"), reports nothing ("silent"), or reports one location at "latitude",
"longitude" with "accuracy".'''

import dbus
from dbusmock import mockobject

BUS_NAME = 'org.freedesktop.GeoClue2'
MAIN_OBJ = '/org/freedesktop/GeoClue2/Manager'
MAIN_IFACE = 'org.freedesktop.GeoClue2.Manager'
SYSTEM_BUS = True

CLIENT = '/org/freedesktop/GeoClue2/Client/1'
CLIENT_IFACE = 'org.freedesktop.GeoClue2.Client'


def load(mock, parameters):
    mock.AddMethod(MAIN_IFACE, 'GetClient', '', 'o', f'ret = dbus.ObjectPath("{CLIENT}")')
    mock.AddObject(CLIENT, CLIENT_IFACE, {
        'DesktopId': '',
        'DistanceThreshold': dbus.UInt32(0),
        'RequestedAccuracyLevel': dbus.UInt32(0),
        'Active': False,
        'Location': dbus.ObjectPath('/'),
    }, [
        ('Stop', '', '', f'self.Set("{CLIENT_IFACE}", "Active", False)'),
    ])
    if parameters.get('deny', False):
        start = ('raise dbus.exceptions.DBusException("Agent refused", '
                 'name="org.freedesktop.DBus.Error.AccessDenied")')
    elif parameters.get('silent', False):
        start = f'self.Set("{CLIENT_IFACE}", "Active", True)'
    else:
        lat = float(parameters.get('latitude', 0.0))
        lon = float(parameters.get('longitude', 0.0))
        acc = float(parameters.get('accuracy', 1000.0))
        start = '\n'.join([
            'self.fixes = getattr(self, "fixes", 0) + 1',
            'path = "/org/freedesktop/GeoClue2/Location/%d" % self.fixes',
            'self.AddObject(path, "org.freedesktop.GeoClue2.Location", {'
            f'"Latitude": dbus.Double({lat}), "Longitude": dbus.Double({lon}), "Accuracy": dbus.Double({acc}), '
            '"Altitude": dbus.Double(-1.7976931348623157e308), "Description": ""}, [])',
            f'self.Set("{CLIENT_IFACE}", "Active", True)',
            f'self.Set("{CLIENT_IFACE}", "Location", dbus.ObjectPath(path))',
            f'self.EmitSignal("{CLIENT_IFACE}", "LocationUpdated", "oo", [dbus.ObjectPath("/"), dbus.ObjectPath(path)])',
        ])
    mockobject.objects[CLIENT].AddMethod(CLIENT_IFACE, 'Start', '', '', start)
