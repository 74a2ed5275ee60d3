#!/usr/bin/env bash
# Installs the build into a temporary prefix; the desktop's own validators
# judge the desktop entry and AppStream metainfo there, and the icon the
# entry names must be there at every size, plain and @2.
set -euo pipefail
work=$(mktemp -d "${TMPDIR:-/tmp}/melodrift-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
cmake --install "$1" --prefix "$work/usr" >/dev/null
entry=$(echo "$work"/usr/share/applications/*.desktop)
desktop-file-validate "$entry"
appstreamcli validate-tree --no-net "$work"
icon=$(sed -n 's/^Icon=//p' "$entry")
for size in 16 32 48 64 128 256; do
  ls "$work/usr/share/icons/hicolor/${size}x$size"{,@2}"/apps/$icon.png" >/dev/null
done
