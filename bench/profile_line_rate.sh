#!/usr/bin/env bash
# Where the console's CPU goes at the line's rate on a real X server: the
# console (bench/screen_console) on Xvfb with openbox, kelmora-sim streaming
# 360 status frames a second, `perf record` (software clock) on the console
# for the given seconds. Prints the shares by library and the busiest
# functions. Run it under `flock /work/bench.lock` beside others.
#
#   bench/profile_line_rate.sh [seconds]     (default 10; build-bench/ built)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${KELMORA_BENCH_BUILD_DIR:-$root/build-bench}"
seconds="${1:-10}"

source "$root/scripts/lib/virtual_display.sh"
start_virtual_display
start_window_manager
unset QT_QPA_PLATFORM
start_simulator "$build_dir/tools/simulator/kelmora-sim" --stream 360
# The console runs until its standard input closes, a little after the record.
start_background bash -c "sleep $((seconds + 5)) | '$build_dir/bench/screen_console' '$device' >/dev/null"
sleep 3
console="$(pgrep -n -f "bench/screen_console $device")"
perf record -q -e cpu-clock -F 997 -o "$work/perf.data" -p "$console" -- sleep "$seconds" || true
perf report -q -i "$work/perf.data" --sort dso --stdio 2>/dev/null | head -n 15
perf report -q -i "$work/perf.data" --sort dso,symbol --stdio 2>/dev/null | grep -v '^$' | head -n 40
