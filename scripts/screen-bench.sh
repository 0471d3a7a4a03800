#!/usr/bin/env bash
# The console and CuteCom side by side on a real X server: installs Xvfb,
# the openbox window manager, CuteCom, xdotool and the AT-SPI bus (setup.sh
# screen-bench), builds bench/screen_bench, brings up a virtual display with
# a window manager and a session bus carrying the accessibility bus, and
# runs the benchmark there. Prints "screen.<subject>.<name>=value" lines;
# asserts nothing.
#
#   scripts/screen-bench.sh [line-rate seconds [flood seconds]]  (default 100, 10)
#   scripts/screen-bench.sh loaded   the console alone beside two spinning
#                                    processes, then beside a build of the
#                                    project (two jobs, in build-load/)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${KELMORA_BENCH_BUILD_DIR:-$root/build-bench}"

"$root/scripts/setup.sh" screen-bench
cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)" --target screen_bench >/dev/null

if [[ "${1:-}" == loaded ]]; then
  load_dir="$root/build-load"
  cmake -S "$root" -B "$load_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  set -- --loaded "$load_dir"
fi

source "$root/scripts/lib/virtual_display.sh"
start_virtual_display
start_window_manager
unset QT_QPA_PLATFORM QT_LINUX_ACCESSIBILITY_ALWAYS_ON
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 -p "$XDG_RUNTIME_DIR"

echo "machine.cpu=$(lscpu | sed -n 's/^Model name: *//p' | head -n 1)"
echo "machine.cores=$(nproc)"
echo "machine.load_average_1min=$(cut -d ' ' -f 1 /proc/loadavg)"
echo "screen.display=Xvfb 1280x1024x24, openbox $(dpkg-query -W -f='${Version}' openbox), cutecom $(dpkg-query -W -f='${Version}' cutecom)"
# A session bus of its own; the accessibility bus is started on it at once,
# so that the accessible run finds a registry to talk to.
dbus-run-session -- bash -c '
  /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
  launcher=$!
  sleep 1
  "$0" "$@"
  status=$?
  kill $launcher 2>/dev/null
  exit $status
' "$build_dir/bench/screen_bench" "$@" 2> >(grep -v -e propagateSizeHints -e XDG_RUNTIME_DIR >&2)
