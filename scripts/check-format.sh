#!/usr/bin/env bash
# Fails, naming the lines, when a C++ file of the project strays from the
# style in .clang-format. `scripts/check-format.sh --fix` formats them.
# One formatter version everywhere: clang-format 14 and 19 lay out the same
# tree differently, and 19 is the one Debian 12 and 13 both offer.
set -uo pipefail
formatter=clang-format-19
command -v "$formatter" >/dev/null || { echo "check-format: $formatter not found; scripts/install.sh installs it" >&2; exit 1; }
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1
mapfile -t files < <(git ls-files '*.cpp' '*.h')
[ ${#files[@]} -gt 0 ] || { echo "check-format: no C++ files found (not a git checkout?)" >&2; exit 1; }
if [ "${1:-}" = --fix ]; then
  exec "$formatter" -i "${files[@]}"
fi
"$formatter" --dry-run --Werror "${files[@]}"
