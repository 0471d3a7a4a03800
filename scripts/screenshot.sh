#!/usr/bin/env bash
# Regenerates docs/console.png: the console connected to the controller
# simulator after a drive of the start-up square, photographed on a virtual
# X display (Xvfb), so no desktop and no person is needed.
#
#   scripts/screenshot.sh              writes docs/console.png
#   scripts/screenshot.sh OUT.png      writes OUT.png instead
#   scripts/screenshot.sh --plot [OUT.png]
#                                      writes docs/position-plot.png: the
#                                      "Position Plot" window after the
#                                      simulator drove the square slowly,
#                                      streaming status frames
#
# It installs what it needs (scripts/setup.sh screenshot), builds the console
# and the simulator (in build/, or $KELMORA_BUILD_DIR), starts Xvfb,
# kelmora-sim and the console, then plays the operator with xdotool: Enter
# (Open Port, the default button), a click into the history list, "x" (Drive
# X / Y) and a few clicks on "Refresh Status".
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
plot=0
if [[ "${1:-}" == "--plot" ]]; then
  plot=1
  shift
fi
if ((plot)); then
  out="${1:-$root/docs/position-plot.png}"
else
  out="${1:-$root/docs/console.png}"
fi
"$root/scripts/setup.sh" screenshot
build_dir="${KELMORA_BUILD_DIR:-$root/build}"
# Only the two programs in the picture.
cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE="${KELMORA_BUILD_TYPE:-RelWithDebInfo}" >/dev/null
cmake --build "$build_dir" --target kelmora kelmora-sim --parallel "$(nproc)"
console="$build_dir/src/shell/kelmora"
simulator="$build_dir/tools/simulator/kelmora-sim"

# The console's client area (its central widget) is 808 x 539 pixels at its
# design size; the menu bar sits above it. Points inside it, in pixels:
client_height=539
history_list=(348 470)   # middle of the history list (List1)
refresh_button=(326 192) # middle of "Refresh Status" (Com_Refresh)

source "$root/scripts/lib/virtual_display.sh"
start_virtual_display 1920x1080x24

# --hex: every frame it receives becomes a line after the device name, so the
# script can tell that the clicks arrived.
# For the plot the axes move slowly (the square's edges take half a second)
# and the simulator reports 50 times a second unasked, as a polling console would.
sim_options=(--hex)
if ((plot)); then sim_options+=(--speed 200 --stream 50); fi
start_simulator "$simulator" "${sim_options[@]}"

# A fixed style and font scale, so the picture does not depend on the desktop
# settings of whoever runs this.
QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=1 QT_STYLE_OVERRIDE=Fusion \
  "$console" --port "$device" >"$work/console.log" 2>&1 &
pids+=($!)

window="$(wait_for_window Kelmora)"
sleep 0.5 # first paint

# Without a window manager the window takes the keyboard focus only when told.
xdotool windowfocus --sync "$window"
# The client area starts below the menu bar. The window is taller than the
# client area by the menu bar and the status bar, two bars of about the same
# height; the list and the 24-pixel button absorb the few pixels between them.
eval "$(xdotool getwindowgeometry --shell "$window")" # sets WIDTH and HEIGHT
menu_height=$(((HEIGHT - client_height) / 2))

click() { # x y, inside the client area
  xdotool mousemove --window "$window" "$1" $(($2 + menu_height)) click 1
  sleep 0.3
}

xdotool key --clearmodifiers Return # Open Port
sleep 0.5
click "${history_list[@]}"          # focus out of the text boxes
if ((plot)); then
  # View > Position Plot: the menu title is the third of the bar, the entry
  # the second of the menu.
  xdotool mousemove --window "$window" 100 $((menu_height / 2)) click 1
  sleep 0.4
  xdotool key --clearmodifiers Down Down Return
  plot_window="$(wait_for_window "Position Plot")"
  # Side by side, so that neither hides the other.
  xdotool windowmove "$window" 1000 100
  xdotool windowmove "$plot_window" 0 0
  xdotool windowsize "$plot_window" 960 680
  xdotool windowfocus --sync "$window"
  sleep 0.3
fi
xdotool key --clearmodifiers x      # Drive X / Y
sleep 0.5
if ((plot)); then
  sleep 2.5 # the square at 200 steps a second
  mkdir -p "$(dirname "$out")"
  import -window "$plot_window" "$out"
  echo "Wrote $out"
  exit 0
fi
for _ in 1 2 3; do
  click "${refresh_button[@]}"
  sleep 0.3
done
sleep 0.3

# The drive and at least one status request after it must have reached the
# simulator, or the picture would show something else.
frames="$(tail -n +2 "$work/sim.out")"
if ! grep -q '^0211' <<<"$frames" || ! sed -n '/^0211/,$p' <<<"$frames" | grep -q '^0000'; then
  echo "screenshot.sh: the console did not send the drive and the status requests:" >&2
  echo "$frames" >&2
  exit 1
fi

mkdir -p "$(dirname "$out")"
import -window "$window" "$out"
echo "Wrote $out (console on $device, window ${WIDTH}x${HEIGHT})"
