#!/usr/bin/env bash
# Installs every Debian package Melodrift needs to build, run and test, on
# Debian 12 and 13 and on a bare system too. Where the releases differ (the web
# engines, the clang runtime) it takes what this release's registry offers,
# and stops naming the release and the package when something needed is not
# there. Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  # build, and the formatting check (which asks git for the files)
  cmake g++ make pkg-config clang-format-19 ccache git
  qtbase5-dev qtbase5-dev-tools
  libphonon4qt5-dev libphonon4qt5experimental-dev
  libgstreamer1.0-dev
  # which pages hold Player: the public suffix list and its library
  libpsl-dev publicsuffix
  # translations: lupdate and lrelease, and Qt's own catalogues at run time
  qttools5-dev qttools5-dev-tools qttranslations5-l10n
  # run: both Phonon back ends and what they play through
  phonon4qt5-backend-vlc phonon4qt5-backend-gstreamer
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  vlc-plugin-base
  # stand-in chart service and its generated media
  python3 sox libsox-fmt-base gstreamer1.0-tools
  # tests: X server (and its client library, through which suites see the
  # program's windows), sound server, TLS fixtures
  xvfb xauth libxcb1-dev pulseaudio openssl curl
  # the German locale the translation test and the demo can run under
  locales
  # the Debian package (CPack's shared-library scan needs file and
  # dpkg-shlibdeps) and the tools that judge it and the installed tree
  file dpkg-dev lintian desktop-file-utils appstream
  # desktop integration tests: a private session bus, the media-control
  # client, and stand-ins for the screen saver, portal and notifications
  dbus dbus-daemon playerctl python3-dbusmock
  # accessibility tests: the AT-SPI bus and registry, and a client of them
  # as screen readers are (Debian's Python bindings)
  at-spi2-core python3-pyatspi gir1.2-atspi-2.0
  # the Wayland suite: a headless compositor (weston-screenshooter comes
  # with it) and Qt's Wayland platform
  weston qtwayland5
  # the Debian roots other releases are tried in (scripts/in-debian.sh)
  debootstrap
  # fuzz targets (libFuzzer) and the sanitizer build; clang's runtime is
  # added below, named after the clang this release offers
  clang
)

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
release=$(. /etc/os-release && echo "${PRETTY_NAME:-this system}")
fail() {
  echo "install: $*" >&2
  exit 1
}

# The version apt would install; empty when this release has no such package.
candidate() {
  apt-cache policy "$1" 2>/dev/null | awk '$1 == "Candidate:" && $2 != "(none)" { print $2 }'
}

# The packages that differ between releases, as this release offers them.
# Both web engines where both are packaged: the build uses QtWebKit where it
# is installed and QtWebEngine otherwise, and CI builds each one where it can.
release_packages() {
  local engines=() clang_version
  [ -z "$(candidate libqt5webkit5-dev)" ] || engines+=(libqt5webkit5-dev)
  # QtWebEngine, and QWebChannel, through which its pages reach Player
  [ -z "$(candidate qtwebengine5-dev)" ] || engines+=(qtwebengine5-dev libqt5webchannel5-dev)
  [ ${#engines[@]} -gt 0 ] || fail "$release offers no web engine: neither libqt5webkit5-dev nor qtwebengine5-dev"
  clang_version=$(candidate clang)
  [ -n "$clang_version" ] || fail "$release offers no package clang"
  # The runtime (sanitizers, libFuzzer) must be the one of that clang: 1:14.0-55 is clang 14.
  clang_version=${clang_version#*:}
  echo "${engines[*]} libclang-rt-${clang_version%%.*}-dev"
}

missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

choose() {
  local list
  list=$(release_packages)
  read -ra chosen <<<"$list"
  mapfile -t missing < <(missing_packages "${packages[@]}" "${chosen[@]}")
}

# Choosing by what the release offers needs apt's package lists; a bare
# system has none yet.
updated=0
if ! compgen -G '/var/lib/apt/lists/*_Packages*' >/dev/null; then
  $SUDO apt-get update -qq
  updated=1
fi
choose
if [ ${#missing[@]} -gt 0 ] && [ $updated -eq 0 ]; then
  # Lists can be old: choose again from fresh ones before installing.
  $SUDO apt-get update -qq
  choose
fi

echo "install: $release; web engine and clang runtime: ${chosen[*]}"
if [ ${#missing[@]} -eq 0 ]; then
  echo "install: all packages present"
else
  unoffered=()
  for p in "${missing[@]}"; do
    [ -n "$(candidate "$p")" ] || unoffered+=("$p")
  done
  [ ${#unoffered[@]} -eq 0 ] || fail "$release offers no package ${unoffered[*]}"
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if ! locale -a | grep -qix 'de_DE\.utf-\?8'; then
  $SUDO sed -i 's/^# *\(de_DE\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  $SUDO locale-gen
fi
