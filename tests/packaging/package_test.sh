#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package as a user gets it: cpack builds it from the build tree;
# its control data names the version and the libraries it needs; it holds
# exactly the expected files, all under /usr and owned by root; extracted
# into a scratch root, the programs run from there (tolmu --demo --check),
# the desktop entry and metainfo validate and the manual page is the
# version's. The .deb is left in OUT_DIR for the lintian test.
# Usage: package_test.sh BUILD_DIR VERSION OUT_DIR
set -uo pipefail
build=$1 version=$2 out=$3
t=$(mktemp -d)
trap 'rm -rf "$t"' EXIT
fails=0
check() { # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; fails=$((fails + 1)); fi
}

rm -rf "$out"
(cd "$build" && cpack -G DEB -B "$out" --config CPackConfig.cmake) >"$t/cpack.log" 2>&1 \
  || { cat "$t/cpack.log"; exit 1; }
rm -rf "$out/_CPack_Packages"
arch=$(dpkg --print-architecture)
deb=$out/tolmu_${version}_${arch}.deb
[ -f "$deb" ] || { echo "no $deb"; ls "$out"; cat "$t/cpack.log"; exit 1; }

info=$(dpkg-deb --info "$deb")
field() { dpkg-deb --field "$deb" "$1"; }
check "package name" test "$(field Package)" = tolmu
check "version from CMake ($(field Version))" test "$(field Version)" = "$version"
check "architecture $arch" test "$(field Architecture)" = "$arch"
check "section mail" test "$(field Section)" = mail
depends=$(field Depends | tr ',' '\n' | awk '{ print $1 }')
for lib in libc6 libstdc++6 libssl3 libqt6core6 libqt6widgets6 libqt6dbus6 libqt6multimedia6; do
  check "computed dependency on $lib" grep -qxF "$lib" <<<"$depends"
done
check "description and homepage" grep -q '^ Homepage: https://' <<<"$info"

# Paths, with owner and mode, as dpkg-deb lists them.
dpkg-deb --contents "$deb" >"$t/contents"
awk '{ print $6 }' "$t/contents" | sed 's|/$||' | sort >"$t/paths"
check "everything under /usr" test -z "$(grep -v -e '^\./usr' -e '^\.$' "$t/paths")"
check "everything owned by root" test -z "$(awk '$2 != "root/root"' "$t/contents")"
want=(
  ./usr/bin/tolmu ./usr/bin/tolmu-gui ./usr/lib/tolmu/tolmu_sound.so
  ./usr/share/tolmu/Tolmu.ini ./usr/share/tolmu/skins/default/skin.ini ./usr/share/tolmu/skins/sunrise/skin.ini
  ./usr/share/applications/org.tolmu.Tolmu.desktop ./usr/share/metainfo/org.tolmu.Tolmu.metainfo.xml
  ./usr/share/icons/hicolor/scalable/apps/org.tolmu.Tolmu.svg
  ./usr/share/man/man1/tolmu.1.gz ./usr/share/man/man1/tolmu-gui.1.gz
  ./usr/share/doc/tolmu/README.md ./usr/share/doc/tolmu/copyright ./usr/share/doc/tolmu/changelog.gz
)
for size in 16 22 24 32 48 64 128 256; do
  want+=("./usr/share/icons/hicolor/${size}x${size}/apps/org.tolmu.Tolmu.png")
done
missing=$(printf '%s\n' "${want[@]}" | sort | comm -23 - "$t/paths")
check "holds the programs, module, skins, entry, icons, man page and documents ($missing)" test -z "$missing"
check "programs executable, documents not" test -z "$(awk '
  $6 ~ /^\.\/usr\/bin\/./ && $1 != "-rwxr-xr-x" { print }
  $6 ~ /^\.\/usr\/share\// && $1 ~ /^-/ && $1 != "-rw-r--r--" { print }' "$t/contents")"

# Run from an extracted copy, as an installed program.
root=$t/root
dpkg -x "$deb" "$root"
run() { env -i PATH="$PATH" HOME="$t/home" TMPDIR="$t" "$@"; }
check "--version" test "$(run "$root/usr/bin/tolmu" --version)" = "tolmu $version"
run "$root/usr/bin/tolmu" --demo --check >"$t/demo.out" 2>"$t/demo.err"
status=$?
check "--demo --check counts the demo mailbox" grep -qx 'Demo mailbox : 3' "$t/demo.out"
check "--demo --check reports the closed account, exit 1 (got $status)" \
  test "$status" -eq 1 -a "$(grep -c '^Closed account : ' "$t/demo.err")" -eq 1
out=$(run "$root/usr/bin/tolmu" --summary 2>&1)
check "skins found in the package's share/tolmu ($out)" grep -q "$root/usr/share/tolmu/skins/default/" <<<"$out"
run "$root/usr/bin/tolmu" --render-skin "$root/usr/share/tolmu/skins/sunrise" "$t/sunrise.png" >"$t/render.log" 2>&1
check "tolmu-gui draws from the package ($(cat "$t/render.log"))" test -s "$t/sunrise.png"
check "desktop entry validates" desktop-file-validate "$root/usr/share/applications/org.tolmu.Tolmu.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.tolmu.Tolmu.metainfo.xml" >"$t/appstream.log" 2>&1
status=$?
check "metainfo validates ($(cat "$t/appstream.log"))" test "$status" -eq 0
check "man page of this version" grep -q "\"tolmu $version\"" <(zcat "$root/usr/share/man/man1/tolmu.1.gz")
check "changelog of this version" grep -q "^tolmu ($version) " <(zcat "$root/usr/share/doc/tolmu/changelog.gz")
[ "$fails" -eq 0 ]
