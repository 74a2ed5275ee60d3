'''A stand-in StatusNotifierWatcher (org.kde.StatusNotifierWatcher) with a
registered host, so that programs show their tray icons as StatusNotifierItems.

  /usr/bin/python3 -m dbusmock --session -t statusnotifierwatcher.py

Items registered through RegisterStatusNotifierItem are listed in the
RegisteredStatusNotifierItems property, as given, and announced with
StatusNotifierItemRegistered.
'''

import dbus

SYSTEM_BUS = False
BUS_NAME = 'org.kde.StatusNotifierWatcher'
MAIN_OBJ = '/StatusNotifierWatcher'
MAIN_IFACE = 'org.kde.StatusNotifierWatcher'


def load(mock, parameters):
    mock.AddProperties(MAIN_IFACE, dbus.Dictionary({
        'IsStatusNotifierHostRegistered': parameters.get('IsStatusNotifierHostRegistered', True),
        'ProtocolVersion': dbus.Int32(0),
        'RegisteredStatusNotifierItems': dbus.Array([], signature='s'),
    }, signature='sv'))
    # Qt passes its own well-known bus name. (Others pass an object path on
    # their connection; a code string here cannot see the sender, so such an
    # item is listed by its path alone.)
    mock.AddMethods(MAIN_IFACE, [
        ('RegisterStatusNotifierItem', 's', '',
         'item = args[0]\n'
         'items = self.Get("org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems")\n'
         'self.Set("org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems", dbus.Array(list(items) + [item], signature="s"))\n'
         'self.EmitSignal("org.kde.StatusNotifierWatcher", "StatusNotifierItemRegistered", "s", [item])'),
        ('RegisterStatusNotifierHost', 's', '', ''),
    ])
