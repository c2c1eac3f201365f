#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# lintian on the package the package test built: no errors.
# Usage: lintian_test.sh DEB
set -uo pipefail
deb=$1
[ -f "$deb" ] || { echo "no $deb: the package test did not build it"; exit 1; }
lintian --fail-on error --no-tag-display-limit "$deb"
