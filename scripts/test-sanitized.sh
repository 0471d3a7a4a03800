#!/usr/bin/env bash
# The whole test suite built with AddressSanitizer (LeakSanitizer included)
# and UndefinedBehaviorSanitizer into build-asan/ (or $KELMORA_ASAN_BUILD_DIR),
# run by ctest. Any sanitizer report fails the test it happens in. Prints how
# long the build took; ctest ends with the run's time. scripts/test.sh runs
# it after the normal suite.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${KELMORA_ASAN_BUILD_DIR:-$root/build-asan}"
start=$SECONDS

"$root/scripts/setup.sh"
werror=OFF
if [[ "${CI:-}" == "true" ]]; then werror=ON; fi
cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELMORA_SANITIZE=ON \
  -DKELMORA_WERROR="$werror" >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)"
built=$SECONDS

# Leaks are reported at the exit of every test program, and a report fails
# the test. Qt (offscreen) leaves nothing that LeakSanitizer reports, so no
# suppressions are needed.
export ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
echo "Sanitized build: $((built - start)) s; the test run's time is ctest's last line"
cd "$build_dir"
ctest --output-on-failure --parallel "$(nproc)" --timeout 600

# The receiving thread and the console on the simulator once more, built with
# ThreadSanitizer into build-tsan/ (those targets only). The console starts
# the simulator after its receiving thread exists: a fork TSan only warns of.
tsan_dir="${KELMORA_TSAN_BUILD_DIR:-$root/build-tsan}"
cmake -S "$root" -B "$tsan_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELMORA_SANITIZE=thread \
  -DKELMORA_WERROR="$werror" >/dev/null
cmake --build "$tsan_dir" --parallel "$(nproc)" \
  --target block_receiver_test console_simulator_tests kelmora-sim
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:die_after_fork=0"
cd "$tsan_dir"
ctest --output-on-failure --timeout 600 -R '^(block_receiver_test|console_simulator_tests)$'
