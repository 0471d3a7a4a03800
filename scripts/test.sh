#!/usr/bin/env bash
# The README's test command: installs what is missing, builds, checks the
# formatting and runs every test, then runs them all again built with
# AddressSanitizer, LeakSanitizer and UBSan (scripts/test-sanitized.sh,
# build-asan/). Exits non-zero on any failure.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/check-format.sh"
"$root/scripts/build.sh"
build_dir="${KELMORA_BUILD_DIR:-$root/build}"
export QT_QPA_PLATFORM=offscreen
cd "$build_dir"
ctest --output-on-failure --parallel "$(nproc)" --timeout 300
"$root/scripts/test-sanitized.sh"
