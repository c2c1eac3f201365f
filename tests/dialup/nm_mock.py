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
import subprocess
import sys
import tempfile
import time

import dbus
import dbusmock

NM = 'org.freedesktop.NetworkManager'
NM_PATH = '/org/freedesktop/NetworkManager'
SETTINGS_PATH = NM_PATH + '/Settings'

BUS_CONFIG = '''<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path={socket}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
'''


def wait_for(condition, what):
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        try:
            if condition():
                return
        except dbus.exceptions.DBusException:
            pass
        time.sleep(0.05)
    raise RuntimeError('timed out waiting for ' + what)


def add_connection(settings, mock, device, conn_id, conn_type, name):
    path = settings.AddConnection(dbus.Dictionary({
        'connection': dbus.Dictionary({'id': conn_id, 'type': conn_type,
                                       'uuid': 'uuid-' + name}, signature='sv'),
    }, signature='sa{sv}'))
    mock.AddActiveConnection([device], path, '/', name, dbus.UInt32(2))


def main():
    folder = tempfile.mkdtemp(prefix='tolmu-nm-')
    socket = os.path.join(folder, 'bus')
    config = os.path.join(folder, 'bus.conf')
    with open(config, 'w') as f:
        f.write(BUS_CONFIG.format(socket=socket))
    daemon = subprocess.Popen(['dbus-daemon', '--nofork', '--config-file=' + config,
                               '--print-address=1'], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True)
    address = daemon.stdout.readline().strip()
    env = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=address)
    mock_process = subprocess.Popen([sys.executable, '-m', 'dbusmock', '--system',
                                     '--template', 'networkmanager'],
                                    env=env, stdout=subprocess.DEVNULL)
    try:
        bus = dbus.bus.BusConnection(address)
        wait_for(lambda: bus.name_has_owner(NM), 'the mock on the bus')
        manager = bus.get_object(NM, NM_PATH)
        wait_for(lambda: manager.Get(NM, 'Version', dbus_interface=dbus.PROPERTIES_IFACE),
                 'the template')
        mock = dbus.Interface(manager, dbusmock.MOCK_IFACE)
        settings = dbus.Interface(bus.get_object(NM, SETTINGS_PATH), NM + '.Settings')
        modem = mock.AddEthernetDevice('wwan0', 'wwan0', 100)
        wired = mock.AddEthernetDevice('eth0', 'eth0', 100)
        add_connection(settings, mock, modem, 'Mobile', 'gsm', 'mobile')
        add_connection(settings, mock, wired, 'Wired', '802-3-ethernet', 'wired')

        print(address, flush=True)
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
    finally:
        mock_process.terminate()
        daemon.terminate()
        mock_process.wait()
        daemon.wait()
        for name in ('bus', 'bus.conf'):
            try:
                os.unlink(os.path.join(folder, name))
            except OSError:
                pass
        os.rmdir(folder)


if __name__ == '__main__':
    main()
