#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and fuzzes each one
# for a bounded time, starting from its seed corpus in tests/fuzz/corpus/.
# The corpus is copied to a scratch folder first, so the tree is never
# written. A failing input is printed in hex with the command that replays it.
#   scripts/fuzz.sh            (42 s of fuzzing with both web engines, about a minute with start-up)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${MELODRIFT_FUZZ_BUILD_DIR:-$root/build-fuzz}"

cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DMELODRIFT_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
cmake --build "$build" -j "$(nproc)" || exit 1

work=$(mktemp -d "${TMPDIR:-/tmp}/melodrift-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
export LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

# Chromium's sandbox does not start for root; the page target under
# QtWebEngine runs only test pages of its own.
[ "$(id -u)" = 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1

# target:seconds; the page targets are the slow ones (a real script engine
# per input), one per web engine built, sharing one seed corpus.
targets=(ramplaylist:6 savepath:6)
for engine in webkit webengine; do
  [ -x "$build/fuzz/fuzz_scriptstring_$engine" ] && targets+=("scriptstring_$engine:15")
done
failed=0
for entry in "${targets[@]}"; do
  name=${entry%%:*}
  seconds=${entry##*:}
  corpus="$work/$name/corpus"
  mkdir -p "$corpus" "$work/$name/artifacts"
  cp "$root/tests/fuzz/corpus/${name%_web*}/"* "$corpus/"
  start=$(date +%s)
  if (cd "$work/$name" && "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$work/$name/artifacts/" \
        "$corpus" >"$work/$name/log" 2>&1); then
    echo "fuzz: $name: $(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$work/$name/log" | grep -Eo '[0-9]+$') inputs in $(( $(date +%s) - start )) s, no failure"
  else
    failed=1
    echo "fuzz: $name FAILED" >&2
    tail -n 60 "$work/$name/log" >&2
    for artifact in "$work/$name/artifacts/"*; do
      [ -f "$artifact" ] || continue
      echo "fuzz: $name failing input (hex): $(od -An -tx1 -v "$artifact" | tr -d ' \n')" >&2
      echo "fuzz: replay with: $build/fuzz/fuzz_$name <file holding those bytes>" >&2
    done
  fi
done
exit $failed
