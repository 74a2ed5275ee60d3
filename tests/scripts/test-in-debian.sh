#!/usr/bin/env bash
# scripts/in-debian.sh makes nothing for a release it does not know, and never
# leaves a root that is not whole for the next run to trust: a bootstrap that
# fails (its registry on 127.0.0.1, where nothing answers) leaves neither a
# root nor a partial one, and a root without its marker is not used.
#   test-in-debian.sh <source dir>
set -uo pipefail
script="$1/scripts/in-debian.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/melodrift-in-debian.XXXXXX")
trap 'rm -rf "$work"' EXIT
export MELODRIFT_ROOTS="$work/roots"
failed=0
expect() {
  if eval "$2"; then
    echo "ok: $1"
  else
    echo "FAIL: $1" >&2
    cat "$work/out" >&2
    failed=$((failed + 1))
  fi
}

for release in 11 bullseye ubuntu jammy 13.1 ""; do
  "$script" "$release" true >"$work/out" 2>&1
  status=$?
  expect "release '$release' is refused, naming those supported, and nothing is made" \
    '[ $status -eq 2 ] && grep -q "supported: 12 (bookworm), 13 (trixie)" "$work/out" && [ ! -e "$MELODRIFT_ROOTS" ]'
done

if [ "$(id -u)" -ne 0 ] || ! command -v debootstrap >/dev/null; then
  echo "skipped: a failed bootstrap needs root and debootstrap"
  exit $failed
fi
# What an earlier run could have left: a root without its marker, and the
# temporary folder of a bootstrap that was killed.
mkdir -p "$MELODRIFT_ROOTS/bookworm/etc" "$MELODRIFT_ROOTS/.bookworm.partial.killed"
MELODRIFT_DEBIAN_MIRROR=http://127.0.0.1:1/debian "$script" 12 true >"$work/out" 2>&1
status=$?
expect "a failed bootstrap fails, saying no root was kept" \
  '[ $status -ne 0 ] && grep -q "no root was kept" "$work/out"'
expect "the root without a marker was not used, and is gone" \
  'grep -q "not a complete root" "$work/out" && [ ! -e "$MELODRIFT_ROOTS/bookworm" ]'
expect "no partial root or log is left" \
  '[ -z "$(find "$MELODRIFT_ROOTS" -maxdepth 1 -name ".bookworm.partial*")" ]'
exit $failed
