#!/usr/bin/env bash
# Configures and builds Melodrift into build/ (the executable is build/melodrift).
# Extra arguments go to CMake's configure step, e.g. -DMELODRIFT_SANITIZE=ON.
# MELODRIFT_BUILD_TARGET builds that target alone (scripts/test.sh --quick).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${MELODRIFT_BUILD_DIR:-$root/build}"
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}" CCACHE_NOHASHDIR=1
cmake -S "$root" -B "$build" "$@" >/dev/null
cmake --build "$build" -j "$(nproc)" ${MELODRIFT_BUILD_TARGET:+--target "$MELODRIFT_BUILD_TARGET"}
