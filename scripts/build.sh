#!/usr/bin/env bash
# Configures and builds Kelmora into build/ (or $KELMORA_BUILD_DIR).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${KELMORA_BUILD_DIR:-$root/build}"
werror=OFF
if [[ "${CI:-}" == "true" ]]; then werror=ON; fi
cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE="${KELMORA_BUILD_TYPE:-RelWithDebInfo}" \
  -DKELMORA_WERROR="$werror" "$@" >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)"
