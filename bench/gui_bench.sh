#!/usr/bin/env bash
# The main window against a bare Qt window, under a private Xvfb.
# Usage: bench/gui_bench.sh   (builds into build-bench, TOLMU_TESTS on)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${BENCH_BUILD_DIR:-build-bench}
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLMU_TESTS=ON -DTOLMU_BENCH=ON >/dev/null
fi
cmake --build "$dir" --target bench_gui bench_bare_window >/dev/null
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
source tools/xvfb.bash
start_xvfb -screen 0 640x480x24 -nolisten tcp
trap 'kill $xvfb_pid' EXIT
DISPLAY=$xvfb_display QT_QPA_PLATFORM=xcb "$dir/bench/bench_gui"
