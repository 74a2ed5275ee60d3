#!/usr/bin/env bash
# Installs what is missing, checks the C++ formatting (scripts/check-format.sh),
# builds (warnings are errors), and runs every test
# suite under a virtual X server with a private sound server, then the fuzz
# targets (scripts/fuzz.sh) and the sanitizer build's suites
# (scripts/sanitize.sh), then the Debian 13 lane (scripts/ci-debian13.sh: the
# same build on QtWebEngine in a Debian 13 root, as root, cached outside the
# clone; MELODRIFT_SKIP_DEBIAN13=1 leaves it out). Exits non-zero on any
# failure; every step runs even when an earlier one failed.
#   scripts/test.sh            everything, as CI runs it
#   scripts/test.sh --quick    build what the suites labelled "quick" run (no
#                              media playback), then run them; a few minutes
# Further arguments go to ctest, e.g. scripts/test.sh --quick -R bridge.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
quick=0
if [ "${1:-}" = --quick ]; then
  quick=1
  shift
fi
# Paths below the clone are hashed relative to it, and not the folder the
# compiler runs in, so ccache serves a clone in another folder as well.
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
status=0
step() {
  local name=$1 start=$SECONDS
  shift
  "$@" || status=1
  echo "test.sh: $name took $((SECONDS - start)) s"
}
[ $quick -eq 1 ] || step install "$root/scripts/install.sh"
step format "$root/scripts/check-format.sh"
if [ $quick -eq 1 ]; then
  step build env MELODRIFT_BUILD_TARGET=melodrift_quick_suites "$root/scripts/build.sh" -DMELODRIFT_WERROR=ON
else
  step build "$root/scripts/build.sh" -DMELODRIFT_WERROR=ON
fi
[ $status -eq 0 ] || exit 1
if [ $quick -eq 1 ]; then
  step suites "$root/scripts/with-test-session.sh" \
    ctest --test-dir "$root/build" --output-on-failure --timeout 600 -L quick "$@"
  exit $status
fi
suites() { "$root/scripts/with-test-session.sh" ctest --test-dir "$root/build" --output-on-failure --timeout 600 "$@"; }
if [ "${MELODRIFT_SKIP_DEBIAN13:-0}" = 1 ]; then
  step suites suites "$@"
else
  # QtWebEngine's longer page suites run once, in the Debian 13 lane, whose
  # only engine it is; here its quick ones check the page's contract.
  step suites suites -E _webengine "$@"
  step "webengine quick suites" suites -R _webengine -L quick "$@"
fi
step fuzzing "$root/scripts/fuzz.sh"
step sanitizers "$root/scripts/sanitize.sh"
if [ "${MELODRIFT_SKIP_DEBIAN13:-0}" = 1 ]; then
  echo "test.sh: the Debian 13 lane is skipped (MELODRIFT_SKIP_DEBIAN13=1)"
else
  # It prints each of its steps' times itself.
  "$root/scripts/ci-debian13.sh" || status=1
fi
exit $status
