#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# cmake --install into a temporary prefix, then the installed program as a
# user starts it: the desktop entry valid, the man page and icons in place,
# settings made in a 0700 per-user folder seeded with the first-run
# Tolmu.ini (never one open to all), skins found under the prefix, and
# nothing written under it;
# then the uninstall target takes it all away again.
# Usage: install_test.sh BUILD_DIR ASSETS_DIR
set -uo pipefail
build=$1 assets=$2
t=$(mktemp -d)
# The build's own install list (a developer's cmake --install) outlives the test.
manifest=$build/install_manifest.txt
[ -f "$manifest" ] && cp "$manifest" "$t/manifest.kept"
trap '[ -f "$t/manifest.kept" ] && cp "$t/manifest.kept" "$manifest"; rm -rf "$t"' EXIT
p=$t/prefix
fails=0
check() { # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; fails=$((fails + 1)); fi
}

cmake --install "$build" --prefix "$p" >"$t/install.log" 2>&1 || { cat "$t/install.log"; exit 1; }

check "programs installed" test -x "$p/bin/tolmu" -a -x "$p/bin/tolmu-gui"
check "skins and first-run settings" test -f "$p/share/tolmu/skins/default/skin.ini" -a -f "$p/share/tolmu/Tolmu.ini"
entry=$p/share/applications/org.tolmu.Tolmu.desktop
icon=$(sed -n 's/^Icon=//p' "$entry")
check "icon $icon in the hicolor theme, scalable and 48 px" \
  test -s "$p/share/icons/hicolor/scalable/apps/$icon.svg" -a -s "$p/share/icons/hicolor/48x48/apps/$icon.png"
check "man page names --demo" grep -q 'demo' <(zcat "$p/share/man/man1/tolmu.1.gz")
if command -v desktop-file-validate >/dev/null; then
  check "desktop entry validates" desktop-file-validate "$entry"
fi
check "desktop entry starts tolmu" grep -qx 'Exec=tolmu' "$entry"
check "metainfo launches the desktop entry" \
  grep -q '<launchable type="desktop-id">org.tolmu.Tolmu.desktop</launchable>' "$p/share/metainfo/org.tolmu.Tolmu.metainfo.xml"

# From here on nothing under the prefix may change.
find "$p" -printf '%p %s %T@ %m\n' | sort >"$t/before"
cfg=$t/config
out=$(env -i PATH="$PATH" HOME="$t/home" XDG_CONFIG_HOME="$cfg" "$p/bin/tolmu" --check 2>&1)
status=$?
check "--check without accounts exits 2 (got $status: $out)" test "$status" -eq 2
check "--check without accounts says so as tolmu" grep -q '^tolmu: No valid account' <<<"$out"
check "per-user folder made 0700" test "$(stat -c %a "$cfg/tolmu" 2>/dev/null)" = 700
check "seeded with the first-run Tolmu.ini" cmp -s "$assets/Tolmu.ini" "$cfg/tolmu/Tolmu.ini"
# A per-user folder every user may write to is refused before the first-run
# Tolmu.ini goes into it.
mkdir -p "$t/open/tolmu" && chmod 0777 "$t/open/tolmu"
out=$(env -i PATH="$PATH" HOME="$t/home5" XDG_CONFIG_HOME="$t/open" "$p/bin/tolmu" --check 2>&1)
check "a per-user folder open to all is refused ($out)" \
  grep -q '^tolmu: bad permissions on the settings folder' <<<"$out"
check "nothing copied into a folder open to all" test ! -e "$t/open/tolmu/Tolmu.ini"
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
cmp -s "$t/before" "$t/after" || diff "$t/before" "$t/after"

# Uninstall: every file gone, and the folders the install made; the
# prefix's own bin/, lib/ and share/ stay. A folder of someone else's
# in share/ stays as well.
mkdir -p "$p/share/applications/other" && touch "$p/share/applications/other/keep"
cmake --build "$build" --target uninstall >"$t/uninstall.log" 2>&1 || cat "$t/uninstall.log"
left=$(cd "$p" && find . -mindepth 1 | sort | tr '\n' ' ')
check "uninstall leaves only the shared folders ($left)" \
  test "$left" = "./bin ./lib ./share ./share/applications ./share/applications/other ./share/applications/other/keep "
check "uninstall forgets the install" test ! -e "$manifest"
[ "$fails" -eq 0 ]
