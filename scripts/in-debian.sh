#!/usr/bin/env bash
# Runs a command as root inside a Debian root of the given release, with this
# clone bind-mounted at the same path and the command started in it:
#   scripts/in-debian.sh 13 scripts/install.sh
#   scripts/in-debian.sh 13 scripts/test.sh --quick
# Releases: 12 (bookworm) and 13 (trixie). The root is made once with
# debootstrap (minbase) from the registry apt uses on this machine and kept in
# $MELODRIFT_ROOTS/<codename> (default /var/cache/melodrift-roots), outside the
# clone; what a command installs there stays for the next run. Remove that
# folder to start again from a bare root. Downloaded packages are kept beside
# it in <codename>.debs, so a remade root installs from there.
set -euo pipefail

case "${1:-}" in
  12 | bookworm) release=12 codename=bookworm ;;
  13 | trixie) release=13 codename=trixie ;;
  *)
    echo "in-debian: unknown Debian release '${1:-}'; supported: 12 (bookworm), 13 (trixie)" >&2
    echo "usage: scripts/in-debian.sh 12|13 <command> [arguments]" >&2
    exit 2
    ;;
esac
[ $# -ge 2 ] || { echo "usage: scripts/in-debian.sh 12|13 <command> [arguments]" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || exec sudo -- "$0" "$@"
# Everything below runs in a private mount namespace: the root's mounts never
# show on the host and vanish with the last process inside, even when this
# script is killed before its trap runs.
if [ -z "${MELODRIFT_IN_DEBIAN_NAMESPACE:-}" ]; then
  MELODRIFT_IN_DEBIAN_NAMESPACE=1 exec unshare --mount --propagation private -- "$0" "$@"
fi
shift

clone=$(cd "$(dirname "$0")/.." && pwd)
roots=${MELODRIFT_ROOTS:-/var/cache/melodrift-roots}
target=$roots/$codename
debs=$roots/$codename.debs
# ccache's cache, kept beside the root so that a remade root or a fresh
# clone builds from it as well.
ccache=$roots/ccache-$codename
marker=.melodrift-root
mkdir -p "$roots" "$debs" "$ccache"

# One run per root at a time: two package installs or two bootstraps in one
# root would trip over each other.
exec 9>"$roots/$codename.lock"
if ! flock -n 9; then
  echo "in-debian: waiting for another run in $target" >&2
  flock 9
fi

partial=""
mounts=()
cleanup() {
  local i
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    umount -R "${mounts[i]}" 2>/dev/null || umount -Rl "${mounts[i]}" || true
  done
  [ -z "$partial" ] || rm -rf --one-file-system "$partial" "$partial.log"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# The registry apt uses here: its main archive and its security archive.
registry() {
  local sites
  sites=$(apt-get indextargets --format '$(SITE) $(RELEASE)' 'Created-By: Packages' 2>/dev/null | sort -u)
  sites=$(sed 's|/ | |' <<<"$sites")
  mirror=${MELODRIFT_DEBIAN_MIRROR:-$(awk '$1 ~ /\/debian$/ && $2 !~ /-security$/ { print $1; exit }' <<<"$sites")}
  mirror=${mirror:-http://deb.debian.org/debian}
  security=${MELODRIFT_DEBIAN_SECURITY:-$(awk '$2 ~ /-security$/ { print $1; exit }' <<<"$sites")}
  security=${security:-$mirror-security}
}

# Built in a temporary folder and renamed into place only when complete, with
# the marker last: a failed or interrupted download leaves nothing the next
# run would take for a root.
make_root() {
  local start=$SECONDS
  command -v debootstrap >/dev/null || apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
  registry
  rm -rf --one-file-system "$roots/.$codename.partial."*
  partial=$(mktemp -d "$roots/.$codename.partial.XXXXXX")
  chmod 755 "$partial" # it becomes the root's /, which apt's and man's users must enter
  echo "in-debian: making a Debian $release ($codename) root in $target from $mirror"
  if ! debootstrap --variant=minbase --cache-dir="$debs" "$codename" "$partial" "$mirror" \
    >"$partial.log" 2>&1; then
    tail -n 20 "$partial.log" >&2
    echo "in-debian: debootstrap of Debian $release ($codename) from $mirror failed; no root was kept" >&2
    exit 1
  fi
  rm -f "$partial.log"
  cat >"$partial/etc/apt/sources.list" <<EOF
deb $mirror $codename main
deb $mirror $codename-updates main
deb $security $codename-security main
EOF
  # Packages that ship services must not start them inside the root: they
  # would outlive the command.
  printf '#!/bin/sh\nexit 101\n' >"$partial/usr/sbin/policy-rc.d"
  chmod 755 "$partial/usr/sbin/policy-rc.d"
  echo "Debian $release ($codename) from $mirror, made $(date -u +%FT%TZ)" >"$partial/$marker"
  mv -T "$partial" "$target"
  partial=""
  echo "in-debian: root made in $((SECONDS - start)) s"
}

if [ -e "$target" ] && [ ! -f "$target/$marker" ]; then
  echo "in-debian: $target is not a complete root; making it anew" >&2
  rm -rf --one-file-system "$target"
fi
[ -d "$target" ] || make_root

bind() {
  mkdir -p "$target$2"
  mount --rbind "$1" "$target$2"
  mounts+=("$target$2")
}
# The root on itself: its / is then a mount point, as unshare needs to run
# this script again inside it.
bind "$target" ""
mount -t proc proc "$target/proc"
mounts+=("$target/proc")
bind /sys /sys
bind /dev /dev # with /dev/pts and /dev/shm
# The host's /tmp: a virtual X server picks its display by the lock files
# there, and the network (where X servers listen) is shared with the host.
bind /tmp /tmp
bind "$debs" /var/cache/apt/archives
bind "$ccache" /var/cache/ccache
bind "$clone" "$clone"
# A worktree's repository lives outside it; git needs it for ls-files.
common=$(git -C "$clone" rev-parse --path-format=absolute --git-common-dir 2>/dev/null || true)
case "$common" in
  "" | "$clone"/*) ;;
  *) bind "$common" "$common" ;;
esac
rm -f "$target/etc/resolv.conf"
cp -L /etc/resolv.conf "$target/etc/resolv.conf"

environment=(HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
  CCACHE_DIR=/var/cache/ccache)
while IFS= read -r name; do
  case "$name" in
    MELODRIFT_ROOTS | MELODRIFT_IN_DEBIAN_NAMESPACE | MELODRIFT_DEBIAN_*) ;;
    CI | MELODRIFT_* | PHONON_* | QT_* | QTWEBENGINE_* | CTEST_*) environment+=("$name=${!name}") ;;
  esac
done < <(compgen -e)

status=0
# The command does not hold the lock: a daemon it leaves behind must not
# make the next run wait.
env -i "${environment[@]}" chroot "$target" /bin/sh -c 'cd "$1" && shift && exec "$@"' sh "$clone" "$@" 9>&- || status=$?
exit $status
