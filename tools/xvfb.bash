# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the scripts that need a private X server.
# start_xvfb ARGS...: starts Xvfb with ARGS on a display it finds free
# itself (-displayfd: it names the display once it takes clients), so that
# no other X server of the machine is ever talked to; sets xvfb_display
# (":N") and xvfb_pid. Fails when no server came up within 10 seconds.
start_xvfb() {
  local fifo number=""
  fifo=$(mktemp -u "${TMPDIR:-/tmp}/tolmu-xvfb.XXXXXX")
  mkfifo -m 600 "$fifo"
  Xvfb -displayfd 3 "$@" 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  read -r -t 10 number <"$fifo" || true
  rm -f "$fifo"
  if [ -z "$number" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    echo "Xvfb did not start" >&2
    return 1
  fi
  xvfb_display=":$number"
}
