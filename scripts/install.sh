#!/usr/bin/env bash
# Installs every Debian package Melodrift needs to build, run and test.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  # build, and the formatting check
  cmake g++ make pkg-config clang-format ccache
  qtbase5-dev qtbase5-dev-tools libqt5webkit5-dev
  libphonon4qt5-dev libphonon4qt5experimental-dev
  libgstreamer1.0-dev
  # which pages hold Player: the public suffix list and its library
  libpsl-dev libpsl5 publicsuffix
  # translations: lupdate and lrelease, and Qt's own catalogues at run time
  qttools5-dev qttools5-dev-tools qttranslations5-l10n
  # run: both Phonon back ends and what they play through
  phonon4qt5-backend-vlc phonon4qt5-backend-gstreamer
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  vlc-plugin-base
  # stand-in chart service and its generated media
  python3 sox libsox-fmt-base gstreamer1.0-tools
  # tests: X server, sound server, TLS fixtures
  xvfb xauth pulseaudio openssl curl
  # the German locale the translation test and the demo can run under
  locales
  # the Debian package (CPack's shared-library scan needs file and
  # dpkg-shlibdeps) and the tools that judge it and the installed tree
  file dpkg-dev lintian desktop-file-utils appstream
  # desktop integration tests: a private session bus, the media-control
  # client, and stand-ins for the screen saver, portal and notifications
  dbus dbus-daemon playerctl python3-dbusmock
  # fuzz targets (libFuzzer) and the sanitizer build
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
if [ ${#missing[@]} -eq 0 ]; then
  echo "install: all packages present"
else
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if ! locale -a | grep -qix 'de_DE\.utf-\?8'; then
  $SUDO sed -i 's/^# *\(de_DE\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  $SUDO locale-gen
fi
