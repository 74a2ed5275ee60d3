#!/usr/bin/env bash
# Installs what is missing, builds, starts the stand-in chart service on
# 127.0.0.1:8650 and opens Melodrift on it. Closing the window (or the page's
# Quit) ends the demo and stops the service.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${MELODRIFT_BUILD_DIR:-$root/build}"
"$root/scripts/install.sh"
"$root/scripts/build.sh"

port="${MELODRIFT_DEMO_PORT:-8650}"
python3 "$root/chart-service/server.py" --port "$port" --exit-with-parent >"${TMPDIR:-/tmp}/melodrift-chart-service.url" &
service=$!
trap 'kill "$service" 2>/dev/null; wait "$service" 2>/dev/null' EXIT
for _ in $(seq 100); do
  [ -s "${TMPDIR:-/tmp}/melodrift-chart-service.url" ] && break
  kill -0 "$service" 2>/dev/null || { echo "demo: the chart service did not start" >&2; exit 1; }
  sleep 0.1
done
echo "demo: chart service at $(head -n1 "${TMPDIR:-/tmp}/melodrift-chart-service.url")"

export MELODRIFT_START_URL="${MELODRIFT_START_URL:-http://127.0.0.1:$port/charts/v3.6w_pro/cutter11.php}"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  "$build/melodrift"
else
  echo "demo: no display found; running on a virtual X server (nothing will be visible)" >&2
  xvfb-run -a -s "-screen 0 1280x1024x24" "$build/melodrift"
fi
