#!/usr/bin/env bash
# Start-up benchmark: time to the chart page's first load, memory then, and
# idle CPU, of melodrift on each engine against a bare loader of that engine.
#   bench/startup/run.sh [build-dir] [startup.py options]
# Builds nothing: needs the target bench_startup built in build-dir
# (default: build). Exits non-zero only when something could not run.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build_dir=${MELODRIFT_BUILD_DIR:-$source_dir/build}
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
  build_dir=$1
  shift
fi
export MELODRIFT_BUILD_DIR=$(cd "$build_dir" 2>/dev/null && pwd || echo "$build_dir")

if [ -z "${DISPLAY:-}" ]; then
  # A virtual X server, and a private sound server so the player starts as
  # it would on a desktop.
  exec "$source_dir/scripts/with-test-session.sh" python3 "$here/startup.py" "$@"
fi
exec python3 "$here/startup.py" "$@"
