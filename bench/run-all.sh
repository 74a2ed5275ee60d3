#!/usr/bin/env bash
# Runs the four benchmarks in one test session and prints their "result"
# lines as one table (Markdown, for the README and for comparing commits),
# after each benchmark's own output, which goes to stderr.
#   bench/run-all.sh [build-dir]    (default: build; configured with benchmarks)
# Builds what it runs. Never fails for being slow: only when something could
# not run.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=$(realpath -m "${1:-$root/build}")

cmake -S "$root" -B "$build" -DMELODRIFT_BUILD_BENCH=ON >/dev/null || exit 1
cmake --build "$build" -j "$(nproc)" --target melodrift startup_baseline bench_bridge bench_player bench_download \
  >/dev/null || exit 1

if [ -z "${MELODRIFT_BENCH_IN_SESSION:-}" ]; then
  MELODRIFT_BENCH_IN_SESSION=1 exec "$root/scripts/with-test-session.sh" "$0" "$build"
fi

export MELODRIFT_BUILD_DIR="$build"
results=$(mktemp)
trap 'rm -f "$results"' EXIT
status=0
run() {
  echo "== $*" >&2
  local out
  out=$(mktemp)
  "$@" | tee "$out" >&2
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  grep '^result' "$out" >>"$results"
  rm -f "$out"
}
run python3 "$here/startup/startup.py"
run "$build/bench/bridge/bench_bridge"
run "$build/bench/player/bench_player"
run "$build/bench/download/bench_download" 1024 2

echo "Melodrift $(git -C "$root" describe --always --dirty 2>/dev/null), $(date -u +%Y-%m-%d)," \
  "$(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
echo
echo "| benchmark | measure | Melodrift | baseline | baseline is | ratio | goal |"
echo "|---|---|---|---|---|---|---|"
cut -f2- "$results" | sed 's/\t/ | /g; s/^/| /; s/$/ |/'
exit $status
