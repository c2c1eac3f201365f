#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The manual page against the program: every option tolmu --help names is
# explained in OPTIONS, the page carries the program's version, has the
# sections a reader looks for, and man renders it without a warning.
# Usage: manpage_test.sh TOLMU SCDOC_SOURCE ROFF_PAGE
set -uo pipefail
tolmu=$1 scd=$2 page=$3
fails=0
fail() { echo "FAILED: $*"; fails=$((fails + 1)); }

# Option terms of the OPTIONS section: lines such as "*--timeout* _SECONDS_"
# or "*-h*, *--help*".
terms=$(sed -n '/^# OPTIONS/,/^# /p' "$scd" | grep -oE '^\*-[-a-z]+\*|, \*-[-a-z]+\*' | tr -d '*, ' | sort -u)
for opt in $("$tolmu" --help | grep -oE '(^|[[ |])--?[a-z][-a-z]*' | sed 's/^[[ |]*//' | sort -u); do
  grep -qx -- "$opt" <<<"$terms" || fail "$opt from --help is not explained in OPTIONS"
done
for section in NAME SYNOPSIS DESCRIPTION OPTIONS FILES ENVIRONMENT "EXIT STATUS" "SEE ALSO"; do
  grep -qx ".SH \"\\?$section\"\\?" "$page" || fail "no $section section"
done
version=$("$tolmu" --version | cut -d' ' -f2)
grep -q "^\.TH .*\"tolmu $version\"" "$page" || fail "the page is not of version $version"
warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man warns: $warnings"
[ "$fails" -eq 0 ] && echo "ok: the manual page explains every option of --help"
[ "$fails" -eq 0 ]
