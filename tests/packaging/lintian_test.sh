#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# lintian on the package the package test built: no errors, and no
# hardening tag (those are only informational to lintian, so they are
# looked for here): the programs and the sound module carry Debian's
# hardening flags.
# Usage: lintian_test.sh DEB
set -uo pipefail
deb=$1
[ -f "$deb" ] || { echo "no $deb: the package test did not build it"; exit 1; }
out=$(lintian --fail-on error --display-info --no-tag-display-limit "$deb")
status=$?
printf '%s\n' "$out"
hardening=$(grep -E '^[EWIPX]: [^ ]+: hardening-' <<<"$out")
if [ -n "$hardening" ]; then
  echo "FAILED: built without Debian's hardening flags:"
  printf '%s\n' "$hardening"
  exit 1
fi
exit $status
