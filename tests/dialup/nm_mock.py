#!/usr/bin/env python3
"""NetworkManager for the dial-up tests: python3-dbusmock's template on a
private bus of its own (never the machine's system bus).

Prints the bus address on the first line, then serves commands read from
standard input, one a line, answering each with one line:
  active   the Ids of the active connections, comma-separated
  refuse   from now on DeactivateConnection fails with PermissionDenied
Everything stops when standard input closes.
"""
import os
import sys

import dbus
import dbusmock

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from private_bus import PrivateBus  # noqa: E402

NM = 'org.freedesktop.NetworkManager'
NM_PATH = '/org/freedesktop/NetworkManager'
SETTINGS_PATH = NM_PATH + '/Settings'


def add_connection(settings, mock, device, conn_id, conn_type, name):
    path = settings.AddConnection(dbus.Dictionary({
        'connection': dbus.Dictionary({'id': conn_id, 'type': conn_type,
                                       'uuid': 'uuid-' + name}, signature='sv'),
    }, signature='sa{sv}'))
    mock.AddActiveConnection([device], path, '/', name, dbus.UInt32(2))


def main():
    with PrivateBus('system', 'tolmu-nm-') as private:
        private.start_mock('networkmanager')
        bus = private.connection
        private.wait_for(lambda: bus.name_has_owner(NM), 'the mock on the bus')
        manager = bus.get_object(NM, NM_PATH)
        private.wait_for(lambda: manager.Get(NM, 'Version', dbus_interface=dbus.PROPERTIES_IFACE),
                         'the template')
        mock = dbus.Interface(manager, dbusmock.MOCK_IFACE)
        settings = dbus.Interface(bus.get_object(NM, SETTINGS_PATH), NM + '.Settings')
        modem = mock.AddEthernetDevice('wwan0', 'wwan0', 100)
        wired = mock.AddEthernetDevice('eth0', 'eth0', 100)
        add_connection(settings, mock, modem, 'Mobile', 'gsm', 'mobile')
        add_connection(settings, mock, wired, 'Wired', '802-3-ethernet', 'wired')

        print(private.address, flush=True)
        for line in sys.stdin:
            command = line.strip()
            if command == 'active':
                ids = []
                for path in manager.Get(NM, 'ActiveConnections', dbus_interface=dbus.PROPERTIES_IFACE):
                    active = bus.get_object(NM, path)
                    ids.append(str(active.Get(NM + '.Connection.Active', 'Id',
                                              dbus_interface=dbus.PROPERTIES_IFACE)))
                print(','.join(ids), flush=True)
            elif command == 'refuse':
                mock.AddMethod(NM, 'DeactivateConnection', 'o', '',
                               "raise dbus.exceptions.DBusException('Not allowed', "
                               "name='org.freedesktop.NetworkManager.PermissionDenied')")
                print('ok', flush=True)
            else:
                print('unknown command', flush=True)


if __name__ == '__main__':
    main()
