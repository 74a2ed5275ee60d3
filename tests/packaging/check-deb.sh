#!/usr/bin/env bash
# Builds the Debian package from the build tree and meets it as a user
# would: lintian finds no error in it, its dependencies resolve on this
# machine, and the melodrift unpacked from it shows the stand-in chart.
# Nothing is installed; everything is written under one temporary folder.
#   check-deb.sh <build dir> <source dir>
set -euo pipefail
[ -n "${DISPLAY:-}" ] || exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$0" "$@"
build=$1 source=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/melodrift-deb.XXXXXX")
trap 'kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache"
log() { echo "check-deb: $*"; }
fail() { echo "check-deb: $1" >&2; [ -z "${2:-}" ] || cat "$2" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
  fail "cpack failed" "$work/cpack.log"
deb=$(echo "$work"/out/melodrift_*.deb)
log "built $(basename "$deb") in $SECONDS s"
lintian --fail-on error --display-info "$deb" >"$work/lintian.log" 2>&1 || fail "lintian found errors" "$work/lintian.log"
grep -v "running with root privileges" "$work/lintian.log" || true
# No write to apt's caches either: the simulation reads them only.
apt-get install --simulate -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache= "$deb" >"$work/apt.log" 2>&1 &&
  grep -q '^Inst melodrift ' "$work/apt.log" || fail "its dependencies do not resolve here" "$work/apt.log"
log "lintian and apt-get --simulate passed at $SECONDS s"

dpkg-deb -x "$deb" "$work/root"
python3 "$source/chart-service/server.py" --port 0 --exit-with-parent >"$work/url" 2>"$work/service.log" &
for _ in $(seq 300); do [ -s "$work/url" ] && break; sleep 0.1; done
[ -s "$work/url" ] || fail "the chart service did not start" "$work/service.log"
export MELODRIFT_START_URL="$(head -n1 "$work/url")charts/v3.6w_pro/cutter11.php"
"$work/root/usr/bin/melodrift" >"$work/app.log" 2>&1 &
app=$!
for _ in $(seq 600); do
  grep -q 'chart ready: 8 items, Player present' "$work/app.log" && break
  kill -0 "$app" 2>/dev/null || break
  sleep 0.1
done
grep -q 'chart ready: 8 items, Player present' "$work/app.log" || fail "the unpacked melodrift did not show the chart" "$work/app.log"
log "the unpacked melodrift showed the chart; $SECONDS s in all"
