#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) into build-fuzz/ and runs
# each for a bounded number of inputs, then prints the inputs executed per
# target. Not part of the test command.
#
#   scripts/fuzz.sh                         # every target, its default count
#   scripts/fuzz.sh fuzz_hex_text           # one target
#   scripts/fuzz.sh fuzz_hex_text=20000000  # one target, this many inputs
#
# Default counts (14.3 million in all, about half an hour on two cores): the
# cheap targets run more inputs; the history file target builds histories of
# up to a few hundred thousand lines per input and runs fewer.
# KELMORA_FUZZ_RUNS    inputs per target, instead of the defaults
# KELMORA_FUZZ_SECONDS wall-clock cap per target (default 1800)
# KELMORA_FUZZ_JOBS    parallel workers per target (default: nproc); the
#                      runs are split between them
# Working corpora and crash files live in build-fuzz/ (not in git); the small
# seed sets in fuzz/seeds/ start them. A crash stops the script with the
# input saved as build-fuzz/crashes/<target>/crash-*.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${KELMORA_FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${KELMORA_FUZZ_SECONDS:-1800}"
jobs="${KELMORA_FUZZ_JOBS:-$(nproc)}"

"$root/scripts/setup.sh" fuzz

declare -A default_runs=(
  [fuzz_number_text]=4500000
  [fuzz_hex_text]=3000000
  [fuzz_status_block]=2500000
  [fuzz_history_file]=300000
  [fuzz_history_reader]=2000000
  [fuzz_capture_reader]=2000000
)
requests=("$@")
if ((${#requests[@]} == 0)); then
  requests=(fuzz_number_text fuzz_hex_text fuzz_status_block fuzz_history_file fuzz_history_reader
    fuzz_capture_reader)
fi
targets=()
declare -A target_runs
for request in "${requests[@]}"; do
  name="${request%%=*}"
  if [[ -z "${default_runs[$name]:-}" ]]; then
    echo "fuzz.sh: no target '$name' (${!default_runs[*]})" >&2
    exit 2
  fi
  targets+=("$name")
  if [[ "$request" == *=* ]]; then
    target_runs[$name]="${request#*=}"
  else
    target_runs[$name]="${KELMORA_FUZZ_RUNS:-${default_runs[$name]}}"
  fi
done

CC=clang CXX=clang++ cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKELMORA_FUZZ=ON >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)" --target "${targets[@]}"

declare -A executed
total=0
for target in "${targets[@]}"; do
  corpus="$build_dir/corpus/$target"
  crashes="$build_dir/crashes/$target"
  logs="$build_dir/fuzz-logs/$target"
  mkdir -p "$corpus" "$crashes" "$logs"
  rm -f "$logs"/*.log
  seeds=()
  if [[ -d "$root/fuzz/seeds/$target" ]]; then seeds=("$root/fuzz/seeds/$target"); fi
  runs="${target_runs[$target]}"
  per_job=$(((runs + jobs - 1) / jobs))
  echo "== $target: $jobs x $per_job inputs (at most ${seconds}s)"
  pids=()
  for ((j = 0; j < jobs; ++j)); do
    # Each worker merges what it finds into the shared corpus folder.
    (cd "$logs" && "$build_dir/fuzz/$target" -runs="$per_job" -max_total_time="$seconds" \
      -max_len=4096 -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
      -artifact_prefix="$crashes/" -seed=$((j + 1)) "$corpus" "${seeds[@]}" \
      >"$logs/worker-$j.log" 2>&1) &
    pids+=($!)
  done
  failed=0
  for pid in "${pids[@]}"; do
    wait "$pid" || failed=1
  done
  count=0
  for log in "$logs"/worker-*.log; do
    n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    count=$((count + ${n:-0}))
  done
  executed[$target]=$count
  total=$((total + count))
  if ((failed)); then
    echo "$target FAILED after $count inputs; see $logs and $crashes" >&2
    grep -h -A15 "ERROR\|invariant broken" "$logs"/worker-*.log | head -40 >&2 || true
    exit 1
  fi
done

echo "== inputs executed"
for target in "${targets[@]}"; do
  printf '%-20s %12d\n' "$target" "${executed[$target]}"
done
printf '%-20s %12d\n' "total" "$total"
