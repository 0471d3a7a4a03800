#!/usr/bin/env bash
# Checks the console on a real accessibility bus (AT-SPI, the one screen
# readers such as Orca use), on a virtual X display: no desktop, no person.
#
#   scripts/accessibility-check.sh [SECONDS]
#
# It installs what it needs (scripts/setup.sh accessibility), builds the
# console and the simulator (in build/, or $KELMORA_BUILD_DIR), starts Xvfb, a
# session bus with its accessibility bus, kelmora-sim streaming status frames
# at line rate (360 a second) and the console with accessibility switched on.
# A small AT-SPI client (accessibility_listener.py) then reads the readings,
# presses Open Port and Drive X / Y through the bus, listens to the announcements for SECONDS
# (default 5) and prints the readings and how many announcements it heard.
# Not part of the test command; it asserts nothing beyond the client finding
# the console.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-5}"
"$root/scripts/setup.sh" accessibility
build_dir="${KELMORA_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE="${KELMORA_BUILD_TYPE:-RelWithDebInfo}" >/dev/null
cmake --build "$build_dir" --target kelmora kelmora-sim --parallel "$(nproc)"

if [[ -z "${KELMORA_A11Y_INNER:-}" ]]; then
  # Everything below runs on a session bus of its own, which starts the
  # accessibility bus when the console first asks for it.
  exec env KELMORA_A11Y_INNER=1 dbus-run-session -- "$0" "$@"
fi

console="$build_dir/src/shell/kelmora"
simulator="$build_dir/tools/simulator/kelmora-sim"
source "$root/scripts/lib/virtual_display.sh"
start_virtual_display

# Slow axes, so that the positions move for a few seconds after Drive X / Y.
start_simulator "$simulator" --stream 360 --speed 100

# Switched on as if a screen reader were running; the accessibility bus
# itself is real.
QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
  "$console" --port "$device" >"$work/console.log" 2>&1 &
pids+=($!)

# Debian's own interpreter: the AT-SPI bindings are Debian packages.
if ! /usr/bin/python3 "$root/scripts/accessibility_listener.py" "$seconds"; then
  cat "$work/console.log" >&2
  exit 1
fi
