#!/usr/bin/env bash
# tolmu --summary, on set-ups in scratch directories: exit status, the
# message on stderr, and that a failed start creates no file.
# Usage: cli_summary_test.sh TOLMU ASSETS_DIR
set -u
tolmu=$1 assets=$2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failures=0

# case NAME STATUS PATTERN SETUP: SETUP fills the directory, PATTERN is looked
# for in stdout and stderr together.
check() {
  local name=$1 want=$2 pattern=$3 setup=$4
  local dir="$root/$name"
  mkdir -p "$dir"
  (cd "$dir" && eval "$setup")
  local before after out status
  before=$(cd "$dir" && find . | sort)
  out=$(timeout 20 "$tolmu" --summary --config-dir "$dir" 2>&1)
  status=$?
  after=$(cd "$dir" && find . | sort)
  if [ "$status" != "$want" ] || ! grep -qF -- "$pattern" <<<"$out" || [ "$before" != "$after" ]; then
    echo "FAIL $name: status $status (want $want)"; echo "$out"
    [ "$before" != "$after" ] && echo "files changed: $after"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

crlf() { printf '%s\r\n' "$@"; }

check empty-dir 1 "SKIN PATH not found !" ":"
check bundled 0 "Skin     : $root/bundled/skins/default/" "cp '$assets/Tolmu.ini' . && cp -r '$assets/skins' ."
check no-current-skin 1 "TOLMU.INI not found !" "crlf 'autocheck =1' > Tolmu.ini"
check empty-current-skin 1 "TOLMU.INI not found !" "crlf 'current_skin =' > Tolmu.ini"
check missing-skin 1 "SKIN PATH not found !" "crlf 'current_skin = nowhere' > Tolmu.ini"
check no-main 1 "Main Background not found in Skin.ini!" \
  "crlf 'current_skin = s' > Tolmu.ini && mkdir s && crlf '[background]' 'msgbkng = m.bmp' > s/skin.ini"
check bad-minutes 1 "'x' is not a valid integer value" \
  "crlf 'current_skin = s' 'minutes = x' > Tolmu.ini && mkdir s && crlf '[background]' 'main = m.bmp' > s/skin.ini"
check accounts 0 "First active account : 2" \
  "crlf 'current_skin = s' > Tolmu.ini && mkdir s && crlf '[background]' 'main = m.bmp' > s/skin.ini &&
   crlf '' '[Account1]' 'acc_name = a' 'host_name = h' 'user_name = u' 'password = xx' 'inactive = 1' \
        '' '[Account2]' 'acc_name = b' 'host_name = h' 'user_name = u' 'password = xx' > Accounts.ini"

# Without a mode the window opens; with no display at all, one line and 2.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 "$tolmu" --config-dir "$root" 2>&1); status=$?
if [ "$status" != 2 ] || ! grep -q "no display" <<<"$out" || ! grep -q "tolmu --check" <<<"$out"; then
  echo "FAIL window without a display: $status $out"; failures=$((failures + 1))
fi

out=$("$tolmu" --config-dir 2>&1); status=$?
if [ "$status" = 0 ] || ! grep -q "needs a directory" <<<"$out"; then
  echo "FAIL --config-dir without a value: $status $out"; failures=$((failures + 1))
fi
[ "$failures" -eq 0 ]
