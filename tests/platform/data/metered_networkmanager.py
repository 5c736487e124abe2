'''python-dbusmock template: NetworkManager whose manager object carries Metered.

Parameters: "Metered", the starting NMMetered value (0, unknown, when not given).
'''
import dbus

import dbusmock
from dbusmock.templates import networkmanager
# The stock template's names (bus name, paths, mock methods) are this template's too.
from dbusmock.templates.networkmanager import *  # noqa: F401,F403 pylint: disable=wildcard-import,unused-wildcard-import


def load(mock, parameters):
    networkmanager.load(mock, parameters)
    dbusmock.get_object(networkmanager.MANAGER_OBJ).AddProperty(
        networkmanager.MANAGER_IFACE, 'Metered', dbus.UInt32(parameters.get('Metered', 0)))
    # NetworkManager may also announce a change by naming the property as invalidated.
    dbusmock.get_object(networkmanager.MANAGER_OBJ).AddMethod(
        dbusmock.MOCK_IFACE, 'SetMeteredInvalidating', 'u', '',
        "self.props['org.freedesktop.NetworkManager']['Metered'] = dbus.UInt32(args[0]); "
        "self.EmitSignal('org.freedesktop.DBus.Properties', 'PropertiesChanged', 'sa{sv}as', "
        "['org.freedesktop.NetworkManager', dbus.Dictionary({}, signature='sv'), ['Metered']])")
