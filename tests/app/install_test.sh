#!/usr/bin/env bash
# cmake --install into a temporary prefix, then the installed program as a
# user starts it: the desktop entry valid, the man page and icon in place,
# settings made in a 0700 per-user folder seeded with the first-run
# Tolmu.ini, skins found under the prefix, and nothing written under it.
# Usage: install_test.sh BUILD_DIR ASSETS_DIR
set -uo pipefail
build=$1 assets=$2
t=$(mktemp -d)
trap 'rm -rf "$t"' EXIT
p=$t/prefix
fails=0
check() { # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; fails=$((fails + 1)); fi
}

cmake --install "$build" --prefix "$p" >"$t/install.log" 2>&1 || { cat "$t/install.log"; exit 1; }

check "programs installed" test -x "$p/bin/tolmu" -a -x "$p/bin/tolmu-gui"
check "skins and first-run settings" test -f "$p/share/tolmu/skins/default/skin.ini" -a -f "$p/share/tolmu/Tolmu.ini"
check "icon in the hicolor theme" test -s "$p/share/icons/hicolor/32x32/apps/tolmu.png"
check "man page names --demo" grep -q 'demo' "$p/share/man/man1/tolmu.1"
if command -v desktop-file-validate >/dev/null; then
  check "desktop entry validates" desktop-file-validate "$p/share/applications/tolmu.desktop"
fi
check "desktop entry starts tolmu with its icon" grep -qx 'Exec=tolmu' "$p/share/applications/tolmu.desktop"

# From here on nothing under the prefix may change.
find "$p" -printf '%p %s %T@ %m\n' | sort >"$t/before"
cfg=$t/config
out=$(env -i PATH="$PATH" HOME="$t/home" XDG_CONFIG_HOME="$cfg" "$p/bin/tolmu" --check 2>&1)
status=$?
check "--check without accounts exits 2 (got $status: $out)" test "$status" -eq 2
check "per-user folder made 0700" test "$(stat -c %a "$cfg/tolmu" 2>/dev/null)" = 700
check "seeded with the first-run Tolmu.ini" cmp -s "$assets/Tolmu.ini" "$cfg/tolmu/Tolmu.ini"
summary=$(env -i PATH="$PATH" HOME="$t/home" XDG_CONFIG_HOME="$cfg" "$p/bin/tolmu" --summary 2>&1)
check "skin found under the prefix ($summary)" grep -q "$p/share/tolmu/skins/default/" <<<"$summary"
mkdir "$t/own"
printf 'current_skin = %s/share/tolmu/skins/sunrise/\r\n' "$p" >"$t/own/Tolmu.ini"
summary=$(env -i PATH="$PATH" HOME="$t/home3" "$p/bin/tolmu" --config-dir "$t/own" --summary 2>&1)
check "--config-dir wins ($summary)" grep -q 'sunrise' <<<"$summary"
env -i PATH="$PATH" HOME="$t/home4" TMPDIR="$t" "$p/bin/tolmu" --demo --check >"$t/demo.out" 2>&1
check "installed --demo --check: one count, one refusal" grep -q '^Demo mailbox : 3$' "$t/demo.out"

# A folder the user may not write names that reason, not a missing folder
# (as root, the run drops to nobody, for whom the permission holds).
mkdir "$t/locked" && chmod 0555 "$t/locked"
as_user=()
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
  chmod 0711 "$t"
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
if [ "$(id -u)" != 0 ] || [ ${#as_user[@]} -gt 0 ]; then
  out=$(env -i PATH="$PATH" HOME="$t/locked" "${as_user[@]}" "$p/bin/tolmu" --check 2>&1)
  check "an unwritable home is named as a permission ($out)" grep -q 'settings folder .*: Permission denied' <<<"$out"
fi

find "$p" -printf '%p %s %T@ %m\n' | sort >"$t/after"
check "nothing written under the prefix" cmp -s "$t/before" "$t/after"
[ "$fails" -eq 0 ] || { diff "$t/before" "$t/after"; exit 1; }
