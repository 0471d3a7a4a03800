#!/usr/bin/env bash
# Fails when a C++ source of the project does not follow .clang-format.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
mapfile -t files < <(git ls-files -co --exclude-standard -- '*.cpp' '*.h' | grep -v '^build')
if ((${#files[@]} == 0)); then exit 0; fi
if ! clang-format --dry-run --Werror "${files[@]}"; then
  echo "Formatting differs from .clang-format: run clang-format -i on the files above." >&2
  exit 1
fi
