#!/usr/bin/env bash
# Takes the README's screenshot: Melodrift on the stand-in chart service, on a
# virtual X server, once the chart has loaded and the title bar has slid away.
#   scripts/screenshot.sh [out.png] [seconds to wait]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/docs/screenshot.png}")
wait_s="${2:-6}"
command -v import >/dev/null || {
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get install -y -qq --no-install-recommends imagemagick >/dev/null
}
[ -x "$root/build/melodrift" ] || "$root/scripts/build.sh"
mkdir -p "$(dirname "$out")"

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
python3 "$root/chart-service/server.py" --port 0 >"$work/url" 2>"$work/service.log" &
for _ in $(seq 100); do [ -s "$work/url" ] && break; sleep 0.1; done
base=$(head -n1 "$work/url")

export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export MELODRIFT_START_URL="${base}charts/v3.6w_pro/cutter11.php"
xvfb-run -a -s "-screen 0 640x480x24" bash -c '
  "$1" & app=$!
  sleep "$2"
  import -window root "$3"
  kill $app; wait $app 2>/dev/null; true' _ "$root/build/melodrift" "$wait_s" "$out"
echo "screenshot: $out"
