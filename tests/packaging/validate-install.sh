#!/usr/bin/env bash
# Installs the build into a temporary prefix and has the desktop's own
# validators judge what a desktop reads there: the desktop entry, the
# AppStream metainfo and the icon the entry names.
#   validate-install.sh <build dir>
set -euo pipefail
work=$(mktemp -d "${TMPDIR:-/tmp}/melodrift-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
cmake --install "$1" --prefix "$work/usr" >/dev/null
share="$work/usr/share"
entry=$(echo "$share"/applications/*.desktop)
desktop-file-validate "$entry"
appstreamcli validate-tree --no-net "$work"
icon=$(sed -n 's/^Icon=//p' "$entry")
for size in 16x16 32x32 48x48 64x64 128x128 256x256; do
  for folder in "$size" "$size@2"; do
    [ -f "$share/icons/hicolor/$folder/apps/$icon.png" ] || { echo "no $folder icon named $icon" >&2; exit 1; }
  done
done
echo "validate-install: desktop entry, metainfo and icons of $icon pass"
