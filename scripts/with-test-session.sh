#!/usr/bin/env bash
# Runs a command inside a private test session: a virtual X server, a private
# PulseAudio with a null sink (the VLC back end stalls without an audio output),
# and a scratch folder for caches, all removed afterwards.
#   scripts/with-test-session.sh ctest --test-dir build
set -uo pipefail

session=$(mktemp -d "${TMPDIR:-/tmp}/melodrift-session.XXXXXX")
chmod 700 "$session"
export XDG_RUNTIME_DIR="$session/runtime"
export XDG_CACHE_HOME="$session/cache"
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CACHE_HOME"
chmod 700 "$XDG_RUNTIME_DIR"

# Chromium's sandbox (QtWebEngine) cannot start as root, and the tests run
# as root on CI; users keep it, only this session turns it off.
export QTWEBENGINE_DISABLE_SANDBOX=1

# No session bus unless a suite brings its own (dbus-run-session): none is
# autolaunched on the virtual display, and no test reaches the user's desktop.
export DBUS_SESSION_BUS_ADDRESS=disabled:

pulse_pid=""
if command -v pulseaudio >/dev/null; then
  pulseaudio --daemonize=no --exit-idle-time=-1 -n \
    --load=module-null-sink \
    --load="module-native-protocol-unix auth-anonymous=1" \
    >"$session/pulseaudio.log" 2>&1 &
  pulse_pid=$!
  export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"
  for _ in $(seq 50); do [ -S "$XDG_RUNTIME_DIR/pulse/native" ] && break; sleep 0.1; done
fi

cleanup() {
  [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null && wait "$pulse_pid" 2>/dev/null
  rm -rf "$session"
}
trap cleanup EXIT

if [ -n "${DISPLAY:-}" ] && [ "${MELODRIFT_USE_DISPLAY:-0}" = 1 ]; then
  "$@"
else
  xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$@"
fi
