#!/usr/bin/env bash
# Runs a test program on a virtual X server with a window manager, as on a
# desktop: Xvfb on a free display, openbox, the xcb platform.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$root/scripts/lib/virtual_display.sh"
start_virtual_display 1920x1080x24
start_window_manager
QT_QPA_PLATFORM=xcb "$@"
