#!/bin/sh
# Runs a keyring test on a session bus of its own, never the desktop's:
#   keyring  a bus with gnome-keyring-daemon, its login keyring unlocked with
#            the password "testpass"; no prompter can show on it
#   stalled  the same with a prompter that takes the unlock prompt and never
#            answers (stalled_prompter.py): a user who walks away
#   empty    a bus without any service (nothing is started on demand)
#   none     no session bus at all
# Usage: keyring_bus.sh keyring|empty|none PROGRAM [ARGS...]
# Exits 77 (skipped) when the daemon, the bus or (stalled) Python's GLib
# binding is not installed.
set -eu
mode=$1
shift
command -v dbus-run-session >/dev/null || exit 77
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/home" "$tmp/run"
chmod 700 "$tmp/run"
# The keyring files land in the test's folder, not the user's.
export HOME="$tmp/home" XDG_DATA_HOME="$tmp/home/.local/share" XDG_CONFIG_HOME="$tmp/home/.config"
export XDG_RUNTIME_DIR="$tmp/run" TOLMU_KEYRING_BUS="$mode"
unset DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY GNOME_KEYRING_CONTROL SSH_AUTH_SOCK
status=0
here=$(cd "$(dirname "$0")" && pwd)
case $mode in
keyring)
    command -v gnome-keyring-daemon >/dev/null || exit 77
    dbus-run-session -- sh -c \
        'eval "$(printf %s testpass | gnome-keyring-daemon --unlock --components=secrets)" >/dev/null; "$@"' \
        sh "$@" || status=$?
    ;;
stalled)
    command -v gnome-keyring-daemon >/dev/null || exit 77
    python=
    for p in python3 /usr/bin/python3; do
        if "$p" -c 'from gi.repository import Gio' 2>/dev/null; then python=$p; break; fi
    done
    [ -n "$python" ] || exit 77
    export PROMPTER_PYTHON="$python" PROMPTER="$here/stalled_prompter.py" PROMPTER_OUT="$tmp/prompter.out"
    dbus-run-session -- sh -c '
        eval "$(printf %s testpass | gnome-keyring-daemon --unlock --components=secrets)" >/dev/null
        "$PROMPTER_PYTHON" "$PROMPTER" >"$PROMPTER_OUT" &
        prompter=$!
        for i in $(seq 200); do grep -q READY "$PROMPTER_OUT" && break; sleep 0.05; done
        status=0
        "$@" || status=$?
        kill $prompter
        exit $status' sh "$@" || status=$?
    ;;
empty)
    cat >"$tmp/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$tmp/run</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
    dbus-run-session --config-file="$tmp/bus.conf" -- "$@" || status=$?
    ;;
none)
    "$@" || status=$?
    ;;
*)
    echo "keyring_bus.sh: unknown mode $mode" >&2
    exit 2
    ;;
esac
exit $status
