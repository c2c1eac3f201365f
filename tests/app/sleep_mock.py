#!/usr/bin/env python3
"""logind and NetworkManager for the sleep and network tests:
python3-dbusmock's templates on a private system bus of its own (never the
machine's). The argument is NetworkManager's state at start (NMState: 20
disconnected, 70 connected).

Prints the bus address on the first line, then serves commands read from
standard input, one a line, answering each with one line:
  sleep      emits logind's PrepareForSleep(true)
  wake       emits PrepareForSleep(false)
  state N    NetworkManager's state becomes N (StateChanged is emitted)
  nm-quit    NetworkManager leaves the bus
Everything stops when standard input closes.
"""
import os
import sys

import dbus
import dbusmock

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from private_bus import PrivateBus  # noqa: E402

LOGIN = 'org.freedesktop.login1'
LOGIN_PATH = '/org/freedesktop/login1'
NM = 'org.freedesktop.NetworkManager'
NM_PATH = '/org/freedesktop/NetworkManager'


def main():
    initial = int(sys.argv[1]) if len(sys.argv) > 1 else 70
    with PrivateBus('system', 'tolmu-away-') as private:
        bus = private.connection
        private.start_mock('logind')
        private.start_mock('networkmanager')
        private.wait_for(lambda: bus.name_has_owner(LOGIN) and bus.name_has_owner(NM), 'the mocks on the bus')
        login = dbus.Interface(bus.get_object(LOGIN, LOGIN_PATH), dbusmock.MOCK_IFACE)
        nm = dbus.Interface(bus.get_object(NM, NM_PATH), dbusmock.MOCK_IFACE)
        private.wait_for(lambda: nm.GetCalls() is not None, 'the template')
        nm.SetGlobalConnectionState(dbus.UInt32(initial))

        print(private.address, flush=True)
        for line in sys.stdin:
            words = line.split()
            if words in (['sleep'], ['wake']):
                login.EmitSignal(LOGIN + '.Manager', 'PrepareForSleep', 'b', [words == ['sleep']])
            elif len(words) == 2 and words[0] == 'state':
                nm.SetGlobalConnectionState(dbus.UInt32(int(words[1])))
            elif words == ['nm-quit']:
                nm_process = private.mocks[1]
                nm_process.terminate()
                nm_process.wait()
            else:
                print('unknown command', flush=True)
                continue
            print('ok', flush=True)


if __name__ == '__main__':
    main()
