#!/usr/bin/env bash
# What the Position Plot costs on a real display: the console on Xvfb with a
# window manager (openbox), the simulator streaming status frames at line
# rate (360 a second) while the x / y pair drives the square again and
# again, the console's CPU time measured over the same span with the plot
# closed and then open. Prints name=value figures; asserts
# nothing.
#
#   bench/plot_cpu.sh [SECONDS]     (default 10 seconds a phase; three
#                                   rounds of closed then open, or
#                                   $KELMORA_PLOT_CPU_ROUNDS)
#
# Builds the console and the simulator in $KELMORA_BENCH_BUILD_DIR (default
# build-bench/, RelWithDebInfo); installs Xvfb, openbox and xdotool with
# scripts/setup.sh screenshot.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-10}"
build_dir="${KELMORA_BENCH_BUILD_DIR:-$root/build-bench}"
"$root/scripts/setup.sh" screenshot
cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" --target kelmora kelmora-sim --parallel "$(nproc)" >/dev/null

source "$root/scripts/lib/virtual_display.sh"
start_virtual_display 1920x1080x24
start_window_manager

start_simulator "$build_dir/tools/simulator/kelmora-sim" --stream 360 --speed 200
QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=1 QT_STYLE_OVERRIDE=Fusion \
  "$build_dir/src/shell/kelmora" --port "$device" >"$work/console.log" 2>&1 &
console=$!
pids+=($console)
window="$(wait_for_window Kelmora)"
xdotool windowactivate --sync "$window"
xdotool key --clearmodifiers Return # Open Port
sleep 1
# Out of the text boxes, so that "x" drives rather than types.
xdotool mousemove --window "$window" 348 490 click 1
sleep 1

ticks_per_second="$(getconf CLK_TCK)"
cpu_ticks() { awk '{print $14 + $15}' "/proc/$console/stat"; }
# CPU percent of one core over $seconds, while "x" (Drive X / Y) is pressed
# every 2 seconds: the square at 200 steps a second takes 2.25 s, so the
# axes keep moving and every pane of an open plot keeps changing.
measure() {
  local before after driver
  (while true; do
    xdotool windowactivate --sync "$window" key --clearmodifiers x 2>/dev/null || true
    sleep 2
  done) &
  driver=$!
  before="$(cpu_ticks)"
  sleep "$seconds"
  after="$(cpu_ticks)"
  kill "$driver"
  wait "$driver" 2>/dev/null || true
  echo "scale=1; 100 * ($after - $before) / ($ticks_per_second * $seconds)" | bc
}
open_plot() { # View > Position Plot: the third title of the menu bar, its second entry
  xdotool windowactivate --sync "$window"
  xdotool mousemove --window "$window" 100 10 click 1
  sleep 0.4
  xdotool key --clearmodifiers Down Down Return
  plot="$(wait_for_window "Position Plot")"
  xdotool windowmove "$plot" 0 0
  xdotool windowmove "$window" 1000 100
  sleep 1
}
close_plot() { # Alt+F4, which openbox turns into the window's close
  xdotool windowactivate --sync "$plot" key --clearmodifiers alt+F4
  sleep 1
}

# Closed and open alternate, so that other load on the machine falls on both
# alike; the figures are the totals over every round.
rounds="${KELMORA_PLOT_CPU_ROUNDS:-3}"
closed_sum=0
open_sum=0
for ((round = 0; round < rounds; round++)); do
  closed_sum="$(echo "$closed_sum + $(measure)" | bc)"
  open_plot
  open_sum="$(echo "$open_sum + $(measure)" | bc)"
  # KELMORA_PLOT_CPU_SHOT=FILE.png: a picture of the plot as measured, to
  # see that the axes did move.
  if [[ -n "${KELMORA_PLOT_CPU_SHOT:-}" ]]; then import -window "$plot" "$KELMORA_PLOT_CPU_SHOT"; fi
  close_plot
done
closed="$(echo "scale=1; $closed_sum / $rounds" | bc)"
open="$(echo "scale=1; $open_sum / $rounds" | bc)"

echo "plot_cpu.line_rate_frames_per_s=360"
echo "plot_cpu.seconds_per_phase=$seconds"
echo "plot_cpu.rounds=$rounds"
echo "plot_cpu.console_cpu_percent_plot_closed=$closed"
echo "plot_cpu.console_cpu_percent_plot_open=$open"
echo "plot_cpu.open_over_closed=$(echo "scale=3; $open / $closed" | bc)"
