#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test suite under a virtual
# X server with a private sound server. Exits non-zero on any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install.sh"
"$root/scripts/build.sh"
"$root/scripts/with-test-session.sh" \
  ctest --test-dir "$root/build" --output-on-failure --timeout 600 "$@"
