#!/usr/bin/env bash
# Runs the benchmarks in one test session, start-up and script bridge on every
# web engine built, and prints their "result" lines as one table (Markdown,
# for docs/benchmarks.md and for comparing commits), after each benchmark's
# own output, which goes to stderr.
#   bench/run-all.sh [--docs] [build-dir]    (default: build)
# --docs also writes the table into docs/benchmarks.md.
# Builds what it runs. Never fails for being slow: only when something could
# not run.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
docs=""
if [ "${1:-}" = "--docs" ]; then
  docs=1
  shift
fi
build=$(realpath -m "${1:-$root/build}")

if [ -z "${MELODRIFT_BENCH_IN_SESSION:-}" ]; then
  # Two cores are shared with the machine's other work: as many jobs as cores.
  cmake -S "$root" -B "$build" -DMELODRIFT_BUILD_BENCH=ON >/dev/null || exit 1
  cmake --build "$build" -j "$(nproc)" --target bench_startup bench_bridge bench_player bench_download \
    >/dev/null || exit 1
  MELODRIFT_BENCH_IN_SESSION=1 exec "$root/scripts/with-test-session.sh" "$0" ${docs:+--docs} "$build"
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
# Every engine built, in the build's order (the program's own engine first).
for engine in $(cut -f1 "$build/bench/startup/programs.tsv"); do
  run "$build/bench/bridge/bench_bridge_$engine"
done
run "$build/bench/player/bench_player"
run "$build/bench/download/bench_download" 1024 2

heading="Melodrift $(git -C "$root" describe --always --dirty 2>/dev/null), $(date -u +%Y-%m-%d),"
heading+=" $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
python3 "$here/table.py" --heading "$heading" ${docs:+--into "$root/docs/benchmarks.md"} <"$results" || status=1
exit $status
