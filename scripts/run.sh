#!/usr/bin/env bash
# The README's run command: installs what is missing, builds, starts the
# controller simulator on a pseudo-terminal and the console pointed at it.
# Quitting the console stops the simulator.
#
#   scripts/run.sh                 console + simulator
#   scripts/run.sh --port /dev/ttyUSB0   console on a real controller, no simulator
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
build_dir="${KELMORA_BUILD_DIR:-$root/build}"
console="$build_dir/src/shell/kelmora"
simulator="$build_dir/tools/simulator/kelmora-sim"

if [[ $# -gt 0 ]]; then
  exec "$console" "$@"
fi

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  echo "No display found: run this from a desktop session (or set DISPLAY)." >&2
  exit 1
fi

sim_out="$(mktemp)"
"$simulator" >"$sim_out" &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; rm -f "$sim_out"' EXIT

device=""
for _ in $(seq 1 100); do
  device="$(head -n 1 "$sim_out" 2>/dev/null || true)"
  [[ -n "$device" ]] && break
  sleep 0.05
done
if [[ -z "$device" ]]; then
  echo "The controller simulator did not start." >&2
  exit 1
fi
echo "Controller simulator on $device; press Open Port in the console."
"$console" --port "$device"
