#!/usr/bin/env python3
"""A notification service for the notification tests: python3-dbusmock's
notification_daemon template on a private session bus of its own (never the
desktop's bus).

With the argument "empty" only the bus runs, without any service on it.
Prints the bus address on the first line, then serves commands read from
standard input, one a line, answering each with one line:
  calls     the Notify calls so far as JSON: [[replaces_id, summary, body,
            actions], ...]
  click N   emits ActionInvoked(N, "default")
Everything stops when standard input closes.
"""
import json
import os
import subprocess
import sys
import tempfile
import time

import dbus
import dbusmock

NAME = 'org.freedesktop.Notifications'
PATH = '/org/freedesktop/Notifications'

BUS_CONFIG = '''<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path={socket}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
'''


def main():
    empty = len(sys.argv) > 1 and sys.argv[1] == 'empty'
    folder = tempfile.mkdtemp(prefix='tolmu-notify-')
    socket = os.path.join(folder, 'bus')
    config = os.path.join(folder, 'bus.conf')
    with open(config, 'w') as f:
        f.write(BUS_CONFIG.format(socket=socket))
    daemon = subprocess.Popen(['dbus-daemon', '--nofork', '--config-file=' + config,
                               '--print-address=1'], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True)
    address = daemon.stdout.readline().strip()
    mock_process = None
    try:
        bus = dbus.bus.BusConnection(address)
        mock = None
        if not empty:
            env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=address)
            mock_process = subprocess.Popen([sys.executable, '-m', 'dbusmock', '--session',
                                             '--template', 'notification_daemon'],
                                            env=env, stdout=subprocess.DEVNULL)
            deadline = time.monotonic() + 20
            while not bus.name_has_owner(NAME):
                if time.monotonic() > deadline:
                    raise RuntimeError('timed out waiting for the mock')
                time.sleep(0.05)
            mock = dbus.Interface(bus.get_object(NAME, PATH), dbusmock.MOCK_IFACE)

        print(address, flush=True)
        for line in sys.stdin:
            words = line.split()
            if words == ['calls'] and mock:
                calls = [[int(args[1]), str(args[3]), str(args[4]), [str(a) for a in args[5]]]
                         for _, args in mock.GetMethodCalls('Notify')]
                print(json.dumps(calls), flush=True)
            elif len(words) == 2 and words[0] == 'click' and mock:
                mock.EmitSignal(NAME, 'ActionInvoked', 'us', [dbus.UInt32(int(words[1])), 'default'])
                print('ok', flush=True)
            else:
                print('unknown command', flush=True)
    finally:
        if mock_process:
            mock_process.terminate()
            mock_process.wait()
        daemon.terminate()
        daemon.wait()
        for name in ('bus', 'bus.conf'):
            try:
                os.unlink(os.path.join(folder, name))
            except OSError:
                pass
        os.rmdir(folder)


if __name__ == '__main__':
    main()
