#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The application icon's PNGs: every size a theme asks for is there, has
# that size, and is the SVG rendered at that size (tools/icons was run after
# the SVG last changed).
# Usage: icons_test.sh SOURCE_DIR
set -uo pipefail
src=$1
t=$(mktemp -d)
trap 'rm -rf "$t"' EXIT
fails=0
svg=$src/assets/icons/org.tolmu.Tolmu.svg
for size in 16 22 24 32 48 64 128 256; do
  png=$src/assets/icons/hicolor/${size}x${size}/apps/org.tolmu.Tolmu.png
  got=$(identify -format '%wx%h' "$png" 2>&1)
  if [ "$got" != "${size}x${size}" ]; then
    echo "FAILED: $png is $got"; fails=$((fails + 1)); continue
  fi
  if command -v rsvg-convert >/dev/null; then
    rsvg-convert --width "$size" --height "$size" "$svg" --output "$t/$size.png"
    differ=$(compare -metric AE -fuzz 2% "$png" "$t/$size.png" null: 2>&1)
    if [ "$differ" != 0 ]; then
      echo "FAILED: $png differs from the SVG in $differ pixels: run tools/icons"; fails=$((fails + 1))
    fi
  fi
done
[ "$fails" -eq 0 ] && echo "ok: eight icon sizes, each the SVG's rendering"
[ "$fails" -eq 0 ]
