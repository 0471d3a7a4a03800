#!/usr/bin/env bash
# Runs a test program on a virtual X server with a window manager, as on a
# desktop: Xvfb on a free display, openbox, the xcb platform.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$root/scripts/lib/virtual_display.sh"
start_virtual_display 1920x1080x24
start_window_manager
# On a real display Qt's platform plugin talks to the session bus through
# libdbus, which keeps an allocation to the end: not the console's.
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$root/tests/shell/x_server_leaks.supp"
QT_QPA_PLATFORM=xcb "$@"
