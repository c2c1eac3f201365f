#!/usr/bin/env bash
# `tolmu --check` against curl's UIDL listing of the same Dovecot mailbox.
# Usage: bench/check_bench.sh [SIZES...] [--rounds=N]   (default 10 10000 100000)
# Builds into build-bench (TOLMU_TESTS on, for the Dovecot helper).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${BENCH_BUILD_DIR:-build-bench}
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLMU_TESTS=ON -DTOLMU_BENCH=ON >/dev/null
fi
cmake --build "$dir" --target bench_check >/dev/null
exec "$dir/bench/bench_check" "$@"
