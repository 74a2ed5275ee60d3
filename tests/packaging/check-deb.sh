#!/usr/bin/env bash
# Builds the Debian package into a temporary folder and meets it as a user
# would: lintian finds no error, it depends on the web engine its program was
# built with and on no other, its dependencies resolve on this machine, and
# the melodrift unpacked from it shows the stand-in chart. Nothing is
# installed, nothing written outside that folder (apt's caches included).
# Inside a root made by scripts/in-debian.sh, which exists to be written to,
# it also installs the package with apt-get, starts the installed program on
# the stand-in chart and removes the package again.
#   check-deb.sh <build dir> <source dir> webkit|webengine
set -euo pipefail
[ -n "${DISPLAY:-}" ] || exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$0" "$@"
work=$(mktemp -d "${TMPDIR:-/tmp}/melodrift-deb.XXXXXX")
trap 'kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
export HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache"
fail() { echo "check-deb: $1" >&2; cat "$work/$2" >&2; exit 1; }

cpack --config "$1/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 || fail "cpack failed" cpack.log
deb=$(echo "$work"/out/melodrift_*.deb)
lintian --fail-on error --display-info "$deb" >"$work/lintian.log" 2>&1 || fail "lintian found errors" lintian.log
grep -v "running with root privileges" "$work/lintian.log" || true
# The engine's library comes from dpkg-shlibdeps, so a program linked with
# the wrong engine, or with both, shows here.
case "$3" in
  webkit) engine=libqt5webkit5 other=libqt5webenginewidgets5 ;;
  webengine) engine=libqt5webenginewidgets5 other=libqt5webkit5 ;;
  *) echo "check-deb: unknown web engine '$3'" >&2; exit 1 ;;
esac
dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/[ :].*//' >"$work/depends"
grep -qx "$engine" "$work/depends" && ! grep -qx "$other" "$work/depends" ||
  fail "it does not depend on $engine alone of the web engines (its program is on $3)" depends
apt-get install --simulate -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache= "$deb" >"$work/apt.log" 2>&1 &&
  grep -q '^Inst melodrift ' "$work/apt.log" || fail "its dependencies do not resolve here" apt.log
echo "check-deb: built $(basename "$deb"), lintian and apt-get --simulate passed in $SECONDS s"

python3 "$2/chart-service/server.py" --port 0 --exit-with-parent >"$work/url" 2>"$work/service.log" &
for _ in $(seq 300); do [ -s "$work/url" ] && break; sleep 0.1; done
export MELODRIFT_START_URL="$(head -n1 "$work/url")charts/v3.6w_pro/cutter11.php"
# shows_chart <program> <log>: the program shows the chart with Player on it.
shows_chart() {
  "$1" >"$work/$2" 2>&1 &
  local app=$!
  for _ in $(seq 600); do
    if grep -q 'chart ready: 8 items, Player present' "$work/$2"; then
      kill $app 2>/dev/null || true
      wait $app 2>/dev/null || true
      return 0
    fi
    kill -0 $app 2>/dev/null || break
    sleep 0.1
  done
  fail "$1 did not show the chart" "$2"
}

dpkg-deb -x "$deb" "$work/root"
shows_chart "$work/root/usr/bin/melodrift" app.log
[ -f /.melodrift-root ] || exit 0

# The package is gone from apt's view once purged: the purge here may find nothing.
trap 'apt-get purge -y -qq melodrift >/dev/null 2>&1 || true; kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
apt-get install -y -qq "$deb" >"$work/install.log" 2>&1 || fail "apt-get install failed" install.log
shows_chart /usr/bin/melodrift installed.log
apt-get purge -y -qq melodrift >"$work/purge.log" 2>&1 || fail "apt-get purge failed" purge.log
if dpkg-query -W -f='${Status}' melodrift 2>/dev/null | grep -q "ok installed"; then
  fail "melodrift is still installed after apt-get purge" purge.log
fi
echo "check-deb: installed with apt-get in $(sed 's/ from .*//' /.melodrift-root), showed the chart and was removed"
