#!/usr/bin/env bash
# The Debian 13 lane scripts/test.sh runs after its Debian 12 steps: in the
# cached Debian 13 root (scripts/in-debian.sh) it installs, builds with
# QtWebEngine and warnings as errors into build-debian13/ (never build/, which
# is the host's), runs the quick suites, the page-loading suites on
# QtWebEngine and the package's checks (lintian, apt-get install, the
# installed program on the stand-in chart), and prints each step's time.
# ccache keeps its cache beside the root, so a second run rebuilds little.
# Exits non-zero on any failure; after a failed build no suite runs.
#   scripts/ci-debian13.sh [further ctest arguments]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-debian13"
# The page-loading suites are named after the engine they load pages with,
# and after the back end when they play: test_x_webengine, test_x_webengine_vlc.
pages='_webengine(_vlc|_gstreamer)?$'
in13() { "$root/scripts/in-debian.sh" 13 "$@"; }
suites() { in13 scripts/with-test-session.sh ctest --test-dir "$build" --output-on-failure --timeout 600 "$@"; }

status=0
lane=$SECONDS
step() {
  local name=$1 start=$SECONDS
  shift
  "$@" || status=1
  echo "test.sh: debian13 $name took $((SECONDS - start)) s"
}
step install in13 scripts/install.sh
in13 dpkg-query -W -f '  ${Package} ${Version}\n' qtbase5-dev qtwebengine5-dev libphonon4qt5-dev \
  phonon4qt5-backend-vlc libvlc5 vlc-plugin-base phonon4qt5-backend-gstreamer libgstreamer1.0-0 \
  gstreamer1.0-plugins-good g++ cmake ||
  status=1
# Two cores are shared with the Debian 12 steps' leftovers and other work:
# the compiler yields to them. The benchmarks are left out: this lane proves
# the build, the suites and the package.
step build in13 env MELODRIFT_BUILD_DIR="$build" nice -n 10 scripts/build.sh -DMELODRIFT_WERROR=ON \
  -DMELODRIFT_WEB_ENGINE=webengine -DMELODRIFT_BUILD_BENCH=OFF
if [ $status -eq 0 ]; then
  step quick suites -L quick "$@"
  # The quick ones among them ran in the step before.
  step pages suites -R "$pages" -LE quick "$@"
  step package suites -L packaging "$@"
fi
echo "test.sh: debian13 lane took $((SECONDS - lane)) s"
exit $status
