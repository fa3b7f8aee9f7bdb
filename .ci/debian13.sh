#!/usr/bin/env bash
# Builds and tests the committed HEAD on Debian 13 (trixie), in a chroot kept
# at $TEMBRIO_TRIXIE (default /var/cache/tembrio-trixie) and reused; its ccache
# is kept too. Then makes the .deb there and prints its computed Depends.
# Needs root.   bash .ci/debian13.sh
set -euo pipefail
repo=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
root=${TEMBRIO_TRIXIE:-/var/cache/tembrio-trixie}
export DEBIAN_FRONTEND=noninteractive
t=$SECONDS
phase() { echo "debian13: $1 took $((SECONDS - t)) s"; t=$SECONDS; }

# Deepest first; the rslave bind keeps these from reaching the host's /dev.
unmount_below() {
  awk -v r="$1" -v d="$1/" '$5 == r || index($5, d) == 1 { print $5 }' /proc/self/mountinfo | sort -r |
    while read -r m; do umount "$m" 2>/dev/null || umount -l "$m"; done
}
cleanup() {
  set +e
  # A process left inside (a test's X server) would keep the mounts busy.
  for p in /proc/[0-9]*; do
    case $(readlink "$p/root" 2>/dev/null) in "$root" | "$root.partial") kill -9 "${p#/proc/}" 2>/dev/null || true ;; esac
  done
  unmount_below "$root"; unmount_below "$root.partial"
}
mkdir -p "$(dirname "$root")"
exec 9>"$root.lock"
flock 9
cleanup  # mounts left by a run that was killed
trap cleanup EXIT

if [ ! -d "$root" ]; then
  command -v debootstrap >/dev/null || { apt-get update && apt-get install -y --no-install-recommends debootstrap; }
  mirror=${MIRROR:-$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources | head -n 1)}
  # A half-made tree from an interrupted run is removed, never reused.
  if awk -v d="$root.partial/" 'index($5, d) == 1 { exit 1 }' /proc/self/mountinfo; then
    rm -rf --one-file-system "$root.partial"
  else
    echo "debian13: $root.partial still has mounts; not removing it" >&2; exit 1
  fi
  debootstrap --variant=minbase trixie "$root.partial" "$mirror"
  # The host's view of archive dates (a frozen archive has expired Release files).
  apt-config dump Acquire::Check-Valid-Until Acquire::Check-Date >"$root.partial/etc/apt/apt.conf.d/99host"
  printf '#!/bin/sh\nexit 101\n' >"$root.partial/usr/sbin/policy-rc.d"  # no daemons started inside
  chmod +x "$root.partial/usr/sbin/policy-rc.d"
  mv "$root.partial" "$root"
  phase debootstrap
fi

# The root a mount point of its own, as the package test's private mount
# namespace needs.
mount --bind "$root" "$root"
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount --make-rslave "$root/dev"
mount -t tmpfs tmpfs "$root/tmp"
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
in_root() { chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 CCACHE_DIR=/root/.ccache \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive bash -c "$1"; }

in_root 'dpkg --configure -a && apt-get update -q'
in_root "apt-get install -y -q --no-install-recommends $(grep -v '^#' "$repo/packages.txt" | tr '\n' ' ')"
in_root 'dpkg-query -W libmpv2 qt6-base-dev'
phase packages

rm -rf --one-file-system "$root/srv/tembrio"
git clone -q "$repo" "$root/srv/tembrio"
git -C "$root/srv/tembrio" checkout -q --detach "$(git -C "$repo" rev-parse HEAD)"
status=0
in_root 'cd /srv/tembrio && bash build.sh test' || status=$?
phase 'build and test'
# shellcheck disable=SC2016
in_root 'cd /srv/tembrio && bash build.sh deb && echo "Depends: $(dpkg-deb -f build/tembrio_*.deb Depends)"' || status=$?
phase package
[ "$status" -eq 0 ] && echo "debian13: passed" || echo "debian13: FAILED" >&2
exit "$status"
