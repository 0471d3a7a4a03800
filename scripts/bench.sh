#!/usr/bin/env bash
# The benchmark command of docs/engineering.md (Performance): installs what
# is missing, builds the benchmarks (RelWithDebInfo, into build-bench/ or
# $KELMORA_BENCH_BUILD_DIR)
# and runs every one of them headless, printing one "name=value" per line.
# Not part of scripts/test.sh: figures are printed, never asserted.
#
#   scripts/bench.sh               all benchmarks
#   scripts/bench.sh receive send  only those (receive, roundtrip, send,
#                                  startup, history, history_view, record,
#                                  ctl, mqtt, publish_cost, screen, plot)
# "screen" runs on a virtual X display beside CuteCom (scripts/screen-bench.sh),
# "plot" the Position Plot closed and open there (bench/plot_cpu.sh).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${KELMORA_BENCH_BUILD_DIR:-$root/build-bench}"

all=(receive roundtrip send startup history history_view record ctl mqtt publish_cost screen plot)
if (($# > 0)); then selected=("$@"); else selected=("${all[@]}"); fi
for name in "${selected[@]}"; do
  case " ${all[*]} " in
    *" $name "*) ;;
    *) echo "bench.sh: unknown benchmark '$name' (one of: ${all[*]})" >&2; exit 2 ;;
  esac
done

"$root/scripts/setup.sh"
cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=()
for name in "${selected[@]}"; do
  [[ $name == screen || $name == plot ]] || targets+=("${name}_bench")
done
if ((${#targets[@]} > 0)); then
  cmake --build "$build_dir" --parallel "$(nproc)" --target "${targets[@]}" >/dev/null
fi

export QT_QPA_PLATFORM=offscreen
echo "machine.cpu=$(lscpu | sed -n 's/^Model name: *//p' | head -n 1)"
echo "machine.cores=$(nproc)"
echo "machine.qt=$(qtpaths6 --qt-version 2>/dev/null || echo unknown)"
echo "machine.load_average_1min=$(cut -d ' ' -f 1 /proc/loadavg)"
for name in "${selected[@]}"; do
  if [[ $name == screen ]]; then
    (unset QT_QPA_PLATFORM; "$root/scripts/screen-bench.sh")
    continue
  fi
  if [[ $name == plot ]]; then
    (unset QT_QPA_PLATFORM; "$root/bench/plot_cpu.sh")
    continue
  fi
  # Qt's notes on the offscreen platform are not figures.
  "$build_dir/bench/${name}_bench" 2> >(grep -v -e XDG_RUNTIME_DIR -e propagateSizeHints >&2)
done
