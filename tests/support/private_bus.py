"""A private D-Bus daemon for tests, with python3-dbusmock services on it:
never the machine's system bus or the desktop's session bus.

    with PrivateBus('session', 'tolmu-notify-') as bus:
        bus.start_mock('notification_daemon')
        bus.wait_for(lambda: bus.connection.name_has_owner(NAME), 'the mock')
        print(bus.address)
"""
import os
import subprocess
import sys
import tempfile
import time

import dbus

BUS_CONFIG = '''<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>{kind}</type>
  <listen>unix:path={socket}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
'''


def wait_for(condition, what, seconds=20):
    """Polls condition until it holds; D-Bus errors while a service starts
    count as "not yet"."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            if condition():
                return
        except dbus.exceptions.DBusException:
            pass
        time.sleep(0.05)
    raise RuntimeError('timed out waiting for ' + what)


class PrivateBus:
    """kind: 'system' or 'session', the bus the mocks believe they are on."""

    def __init__(self, kind, prefix):
        self.kind = kind
        self.folder = tempfile.mkdtemp(prefix=prefix)
        self.mocks = []
        config = os.path.join(self.folder, 'bus.conf')
        with open(config, 'w') as f:
            f.write(BUS_CONFIG.format(kind=kind, socket=os.path.join(self.folder, 'bus')))
        self.daemon = subprocess.Popen(['dbus-daemon', '--nofork', '--config-file=' + config,
                                        '--print-address=1'], stdout=subprocess.PIPE,
                                       stderr=subprocess.DEVNULL, text=True)
        self.address = self.daemon.stdout.readline().strip()
        self.connection = dbus.bus.BusConnection(self.address)

    def start_mock(self, template):
        variable = 'DBUS_SYSTEM_BUS_ADDRESS' if self.kind == 'system' else 'DBUS_SESSION_BUS_ADDRESS'
        env = dict(os.environ, **{variable: self.address})
        self.mocks.append(subprocess.Popen([sys.executable, '-m', 'dbusmock', '--' + self.kind,
                                            '--template', template],
                                           env=env, stdout=subprocess.DEVNULL))

    def wait_for(self, condition, what):
        wait_for(condition, what)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        for mock in self.mocks:
            mock.terminate()
            mock.wait()
        self.daemon.terminate()
        self.daemon.wait()
        for name in ('bus', 'bus.conf'):
            try:
                os.unlink(os.path.join(self.folder, name))
            except OSError:
                pass
        os.rmdir(self.folder)
        return False
