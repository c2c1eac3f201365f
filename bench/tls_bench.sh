#!/usr/bin/env bash
# Times `tolmu --check` against curl over POP3S on a 10,000-message mailbox,
# and tolmu's STLS upgrade on the plain port against port 995.
# Usage: bench/tls_bench.sh [BUILD_DIR] [MESSAGES] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLMU_TESTS=ON >/dev/null
cmake --build "$build" --target tolmu bench_tls >/dev/null
"$build/bench/bench_tls" "${2:-10000}" "${3:-5}"
