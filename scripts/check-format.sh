#!/usr/bin/env bash
# Fails, naming the lines, when a C++ file of the project strays from the
# style in .clang-format. `scripts/check-format.sh --fix` formats them.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1
mapfile -t files < <(git ls-files '*.cpp' '*.h')
[ ${#files[@]} -gt 0 ] || { echo "check-format: no C++ files found (not a git checkout?)" >&2; exit 1; }
if [ "${1:-}" = --fix ]; then
  exec clang-format -i "${files[@]}"
fi
clang-format --dry-run --Werror "${files[@]}"
