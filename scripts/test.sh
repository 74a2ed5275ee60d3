#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test suite under a virtual
# X server with a private sound server, then the fuzz targets (scripts/fuzz.sh)
# and the sanitizer build's suites (scripts/sanitize.sh). Exits non-zero on any
# failure; every step runs even when an earlier one failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install.sh" || exit 1
"$root/scripts/build.sh" || exit 1
status=0
"$root/scripts/with-test-session.sh" \
  ctest --test-dir "$root/build" --output-on-failure --timeout 600 "$@" || status=1
"$root/scripts/fuzz.sh" || status=1
"$root/scripts/sanitize.sh" || status=1
exit $status
