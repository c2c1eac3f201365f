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
import sys

import dbus
import dbusmock

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from private_bus import PrivateBus  # noqa: E402

NAME = 'org.freedesktop.Notifications'
PATH = '/org/freedesktop/Notifications'


def main():
    empty = len(sys.argv) > 1 and sys.argv[1] == 'empty'
    with PrivateBus('session', 'tolmu-notify-') as private:
        mock = None
        if not empty:
            private.start_mock('notification_daemon')
            private.wait_for(lambda: private.connection.name_has_owner(NAME), 'the mock')
            mock = dbus.Interface(private.connection.get_object(NAME, PATH), dbusmock.MOCK_IFACE)

        print(private.address, flush=True)
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


if __name__ == '__main__':
    main()
