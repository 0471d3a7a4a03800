# Sourced by the scripts that need a real X display without a desktop
# (screenshots, the accessibility check, the real-display benchmarks).
#
#   source "$root/scripts/lib/virtual_display.sh"
#   start_virtual_display 1920x1080x24   # Xvfb on a free display; exports DISPLAY
#   start_window_manager                 # openbox, as on a desktop
#   start_background CMD ARGS...         # started in the background, ended on exit
#   start_simulator SIM ARGS...          # kelmora-sim; sets $device to its terminal
#   window="$(wait_for_window Kelmora)"  # the id of a shown window, by its title
#
# Everything started this way is ended, newest first, when the script exits,
# and the scratch folder $work goes with it.

work="$(mktemp -d)"
pids=()

stop_background() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap stop_background EXIT

start_background() {
  "$@" &
  pids+=($!)
}

# Xvfb picks a free display number itself and writes it once it is ready to
# take clients.
start_virtual_display() {
  local size="${1:-1280x1024x24}" display=""
  Xvfb -displayfd 3 -screen 0 "$size" -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 1 100); do
    display="$(head -n 1 "$work/display" 2>/dev/null || true)"
    [[ -n "$display" ]] && break
    sleep 0.05
  done
  if [[ -z "$display" ]]; then
    cat "$work/xvfb.log" >&2
    echo "$(basename "$0"): Xvfb did not start" >&2
    exit 1
  fi
  export DISPLAY=":$display"
}

start_window_manager() {
  HOME="$work" openbox >"$work/openbox.log" 2>&1 &
  pids+=($!)
  sleep 0.5
}

# The controller simulator in the background; sets `device` to the terminal
# it plays the controller on (its first line of output).
start_simulator() {
  "$@" >"$work/sim.out" &
  pids+=($!)
  device=""
  for _ in $(seq 1 100); do
    device="$(head -n 1 "$work/sim.out" 2>/dev/null || true)"
    [[ -n "$device" ]] && break
    sleep 0.05
  done
  if [[ -z "$device" ]]; then
    echo "$(basename "$0"): the controller simulator did not start" >&2
    exit 1
  fi
}

# Prints the id of the shown window titled exactly TITLE once it appears;
# after about ten seconds says so, with the console's output, and exits.
wait_for_window() {
  local title="$1" id=""
  for _ in $(seq 1 100); do
    id="$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n 1 || true)"
    [[ -n "$id" ]] && break
    sleep 0.1
  done
  if [[ -z "$id" ]]; then
    cat "$work/console.log" >&2 2>/dev/null || true
    echo "$(basename "$0"): the window \"$title\" did not appear" >&2
    exit 1
  fi
  echo "$id"
}
