#!/usr/bin/env bash
# CI's Debian 13 lane, run on the host after the Debian 12 run: in the cached
# Debian 13 root (scripts/in-debian.sh) it installs, builds with QtWebEngine
# and warnings as errors into build-debian13/, runs the quick suites, the
# page-loading suites on QtWebEngine and the package's checks, and prints
# each step's time. Exits non-zero on any failure; after a failed build the
# suites are not run.
#   scripts/ci-debian13.sh [further ctest arguments]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-debian13"
# The page-loading suites run once per engine, named after it.
pages='_webengine$'
in13() { "$root/scripts/in-debian.sh" 13 "$@"; }
suites() { in13 scripts/with-test-session.sh ctest --test-dir "$build" --output-on-failure --timeout 600 "$@"; }

status=0
lane=$SECONDS
step() {
  local name=$1 start=$SECONDS
  shift
  "$@" || status=1
  echo "ci-debian13: $name took $((SECONDS - start)) s"
}
step root in13 sh -c 'cat /.melodrift-root; echo "Debian $(cat /etc/debian_version)"'
step install in13 scripts/install.sh
step versions in13 dpkg-query -W -f '${Package} ${Version}\n' qtbase5-dev qtwebengine5-dev libphonon4qt5-dev \
  phonon4qt5-backend-vlc libvlc5 phonon4qt5-backend-gstreamer libgstreamer1.0-0 g++ clang
# The benchmarks are left out: this lane proves the build and the suites.
step build in13 env MELODRIFT_BUILD_DIR="$build" scripts/build.sh -DMELODRIFT_WERROR=ON \
  -DMELODRIFT_WEB_ENGINE=webengine -DMELODRIFT_BUILD_BENCH=OFF
if [ $status -eq 0 ]; then
  step quick suites -L quick "$@"
  step pages suites -R "$pages" -LE quick "$@"
  step package suites -L packaging "$@"
fi
echo "ci-debian13: the lane took $((SECONDS - lane)) s"
exit $status
