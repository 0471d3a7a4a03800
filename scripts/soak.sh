#!/usr/bin/env bash
# The soak run: kelmora-sim streams status frames into the real console
# (offscreen, built with AddressSanitizer and LeakSanitizer in build-asan/)
# until it has sent them all; the console then reports what it received and
# what it cost, and LeakSanitizer reports any leak at its exit. Not part of
# the test command: it runs for minutes.
#
# KELMORA_SOAK_FRAMES  status frames to stream (default 1300000, an hour of
#                      the real line at 115200 baud)
# KELMORA_SOAK_RATE    frames per second (default 5000), or "max": as fast as the
#                      console drains the line. The console logs one frame
#                      per receive notification and drops what else waits,
#                      so at high rates it logs fewer frames than were sent.
# KELMORA_SOAK_HIDDEN  set to run the window hidden (no painting)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${KELMORA_ASAN_BUILD_DIR:-$root/build-asan}"
frames="${KELMORA_SOAK_FRAMES:-1300000}"
rate="${KELMORA_SOAK_RATE:-5000}"

"$root/scripts/setup.sh"
cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELMORA_SANITIZE=ON >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)" --target kelmora_soak_driver kelmora-sim

work="$(mktemp -d)"
sim_pid=""
cleanup() {
  if [[ -n "$sim_pid" ]] && kill -0 "$sim_pid" 2>/dev/null; then kill "$sim_pid"; fi
  rm -rf "$work"
}
trap cleanup EXIT

"$build_dir/tools/simulator/kelmora-sim" --stream "$rate" --frames "$frames" >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 100); do
  if [[ -s "$work/sim.out" ]]; then break; fi
  sleep 0.1
done
device="$(head -1 "$work/sim.out")"
if [[ -z "$device" ]]; then
  echo "soak: kelmora-sim named no device" >&2
  exit 1
fi
echo "soak: $frames frames at $rate/s from $device"

# A small quarantine, so the resident size shows what the console holds
# rather than the freed blocks AddressSanitizer keeps back (256 MB by default).
export ASAN_OPTIONS="detect_leaks=1:quarantine_size_mb=16"
export QT_QPA_PLATFORM=offscreen
status=0
"$build_dir/tests/reliability/kelmora_soak_driver" --port "$device" --quiet-ms 2000 || status=$?
wait "$sim_pid" || true
sim_pid=""
if ((status != 0)); then
  echo "soak: FAILED (exit $status; a LeakSanitizer report above names any leak)" >&2
  exit "$status"
fi
echo "soak: frames sent=$frames, no leak reported"
