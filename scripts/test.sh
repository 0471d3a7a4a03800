#!/usr/bin/env bash
# The README's test command: installs what is missing, builds, checks the
# formatting and runs every test, then runs them all again built with
# AddressSanitizer, LeakSanitizer and UBSan (scripts/test-sanitized.sh,
# build-asan/). Between the two, the Windows build of the Qt-free part runs
# its tests under Wine (scripts/test-windows.sh, build-windows/). Exits
# non-zero on any failure.
#
# Every run names the desktop it runs on, so the result does not hang on the
# machine's own locale, fonts, scale or time zone. The tests labelled
# "desktop" (those that show text, print, lay out windows or type numbers)
# run a second time on another one: a German number format, another family
# as "monospace", a fractional scale, another time zone and home folder.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/check-format.sh"
"$root/scripts/build.sh"
build_dir="${KELMORA_BUILD_DIR:-$root/build}"
export QT_QPA_PLATFORM=offscreen
fonts="$root/scripts/lib/fonts"

# Fails unless fontconfig, under the configuration file $1, makes
# "monospace" the family $2: a missing font would fall back silently.
require_monospace() {
  local resolved
  resolved="$(FONTCONFIG_FILE="$1" fc-match -f '%{family[0]}' monospace)"
  if [[ "$resolved" != "$2" ]]; then
    echo "test.sh: \"monospace\" is $resolved under $1, not $2" >&2
    exit 1
  fi
}

# The first desktop (the sanitized run below runs on it too): English number
# format, DejaVu Sans Mono, no scaling, UTC.
require_monospace "$fonts/monospace-dejavu.conf" "DejaVu Sans Mono"
export LANG=C.UTF-8 LC_ALL=C.UTF-8 TZ=UTC FONTCONFIG_FILE="$fonts/monospace-dejavu.conf"
unset LANGUAGE QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_AUTO_SCREEN_SCALE_FACTOR
cd "$build_dir"
ctest --output-on-failure --parallel "$(nproc)" --timeout 300

# The second desktop: German (decimal comma, dd.MM.yy dates), Noto Sans Mono,
# everything at 125 % (a fractional scale, as on many laptops: rows and text
# fall between device pixels), Berlin time, a home folder of its own.
require_monospace "$fonts/monospace-noto.conf" "Noto Sans Mono"
second_home="$build_dir/desktop-home"
rm -rf "$second_home" && mkdir -p "$second_home"
start=$SECONDS
echo "Second desktop: de_DE.UTF-8, Noto Sans Mono, QT_SCALE_FACTOR=1.25, Europe/Berlin"
env LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 TZ=Europe/Berlin HOME="$second_home" QT_SCALE_FACTOR=1.25 \
  FONTCONFIG_FILE="$fonts/monospace-noto.conf" \
  ctest --output-on-failure --parallel "$(nproc)" --timeout 300 -L '^desktop$'
echo "Second desktop: $((SECONDS - start)) s"
"$root/scripts/test-windows.sh"
"$root/scripts/test-sanitized.sh"
