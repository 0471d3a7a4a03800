#!/usr/bin/env bash
# Builds what of Kelmora needs no Qt (the protocol core, kelmora-history and
# the simulator's controller model, with their tests) for Windows with
# Debian's MinGW-w64 into build-windows/ (or $KELMORA_WINDOWS_BUILD_DIR), and
# runs the tests there under Wine, among them the check that kelmora-history
# writes on Windows what it writes on Linux, byte for byte. Installs MinGW-w64
# and Wine when missing. Called by scripts/test.sh; exits non-zero on any
# failure.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
start=$SECONDS
"$root/scripts/setup.sh" windows
build_dir="${KELMORA_WINDOWS_BUILD_DIR:-$root/build-windows}"
linux_build="${KELMORA_BUILD_DIR:-$root/build}"
mkdir -p "$build_dir"

# The Linux kelmora-history to compare with (scripts/test.sh has built it).
if [[ ! -f "$linux_build/CMakeCache.txt" ]]; then
  cmake -S "$root" -B "$linux_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$linux_build" --target kelmora-history --parallel "$(nproc)"

# Wine in a prefix of the build folder's own, made once, quietly.
export WINEPREFIX="$build_dir/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  echo "Making the Wine prefix $WINEPREFIX"
  wineboot -i >"$build_dir/wineboot.log" 2>&1
  wineserver -w # it writes the prefix's registry as it ends
fi
# One Wine server and its services for the whole run, started here: started
# by a test they would hold its output open, and CTest would wait for them.
wineserver -k >/dev/null 2>&1 || true # one left behind by a run that was stopped
wineserver -p >/dev/null 2>&1
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wineboot >/dev/null 2>&1

# Optimized, at -O1 for a shorter build than a release's -O3, asserts on.
built=$SECONDS
cmake -S "$root" -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
  -DKELMORA_CONSOLE=OFF -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-O1 \
  -DKELMORA_WERROR=ON -DKELMORA_LINUX_HISTORY="$linux_build/tools/history/kelmora-history" \
  >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)"
built=$((SECONDS - built))

cd "$build_dir"
tested=$SECONDS
ctest --output-on-failure --parallel "$(nproc)" --timeout 120 | tee ctest.log
tested=$((SECONDS - tested))
echo "Skipped, and why:"
awk '/^[0-9]+\/[0-9]+ Testing: / { test = $3 }
     reason { print "  " test ": " $0; reason = 0 }
     /: Skipped$/ { reason = 1 }
     /^Skipped here: / { sub(/^Skipped here: /, ""); print "  " test ": " $0 }' \
  Testing/Temporary/LastTest.log
total=$(grep -o 'out of [0-9]*' ctest.log | grep -o '[0-9]*$')
skipped=$(grep -c '(Skipped)$' ctest.log || true)
echo "Windows under Wine: $total tests, $((total - skipped)) passed, $skipped skipped;" \
  "$((SECONDS - start)) s in all (build $built s, tests $tested s)"
