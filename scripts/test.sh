#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test suite under a virtual
# X server with a private sound server, then the fuzz targets (scripts/fuzz.sh)
# and the sanitizer build's suites (scripts/sanitize.sh). Exits non-zero on any
# failure; every step runs even when an earlier one failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
status=0
step() {
  local name=$1 start=$SECONDS
  shift
  "$@" || status=1
  echo "test.sh: $name took $((SECONDS - start)) s"
}
step install "$root/scripts/install.sh"
step build "$root/scripts/build.sh"
[ $status -eq 0 ] || exit 1
step suites "$root/scripts/with-test-session.sh" \
  ctest --test-dir "$root/build" --output-on-failure --timeout 600 "$@"
step fuzzing "$root/scripts/fuzz.sh"
step sanitizers "$root/scripts/sanitize.sh"
exit $status
