#!/usr/bin/env bash
# Builds the .deb from a build tree and installs it for real into a throwaway
# copy of this system (an overlay over / in a private mount namespace, so the
# machine stays as it was); checks its contents, the demo playing when the menu
# entry's command starts, an edited list surviving a reinstall, and remove and
# purge leaving nothing.
#   test_package.sh BUILD_DIR    (as root; skipped otherwise)
set -euo pipefail
[ "$(id -u)" -eq 0 ] || { echo "SKIP: installing the package needs root"; exit 77; }
# Every mount from here on goes away with this process.
[ -n "${TEMBRIO_OWN_MOUNTS:-}" ] || exec env TEMBRIO_OWN_MOUNTS=1 unshare --mount --propagation private bash "$0" "$@"
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
id=it.tembrio.Tembrio
tmp=$(mktemp -d)
mount -t tmpfs tmpfs "$tmp"
trap 'umount -R -l "$tmp" && rmdir "$tmp"' EXIT

failed=0
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }

cpack --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 || { cat "$tmp/cpack.log"; exit 1; }
deb=$tmp/out/tembrio_1.01_amd64.deb
[ -f "$deb" ] || { ls "$tmp/out"; echo "FAIL: no $deb"; exit 1; }

# Control fields; Depends must be the computed one, naming the libraries linked.
[ "$(dpkg-deb -f "$deb" Package Version Section | tr '\n' ' ')" = "Package: tembrio Version: 1.01 Section: video " ] \
  || fail "control: $(dpkg-deb -f "$deb" Package Version Section)"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libmpv2 libqt6widgets6 libqt6openglwidgets6 libc6 libcdio; do
  [[ ", $depends," =~ ", $lib"[-0-9t]*" " ]] || fail "Depends lacks $lib: $depends"
done
[ "$(dpkg-deb -f "$deb" Recommends)" = "fonts-liberation, qt6-wayland" ] || fail "Recommends: $(dpkg-deb -f "$deb" Recommends)"
# Debian's own checker: no error and no warning; info tags are shown.
lintian --allow-root --display-info --fail-on error,warning "$deb" || fail "lintian"

# Nothing in usr/lib/tembrio but the program and the link to the list.
expected=(etc/tembrio/list.m3u 'usr/bin/tembrio -> ../lib/tembrio/tembrio' usr/lib/tembrio/tembrio
          'usr/lib/tembrio/list.m3u -> /etc/tembrio/list.m3u' "usr/share/applications/$id.desktop"
          usr/share/doc/tembrio/{changelog.gz,copyright} usr/share/man/man1/tembrio.1.gz "usr/share/metainfo/$id.metainfo.xml"
          usr/share/tembrio/demo/{1-videocd.dat,2-video.avi,3-mpeg.mpg})
for n in 16 24 32 48 64 128 256; do expected+=("usr/share/icons/hicolor/${n}x$n/apps/$id.png"); done
[[ $(appstreamcli --version) == *" 0."* ]] || expected+=(usr/share/lintian/overrides/tembrio)
diff -u <(printf '%s\n' "${expected[@]}" | sort) \
  <(dpkg-deb -c "$deb" | awk '!/^d/ { sub(/^\.\//, "", $6); print $6 ($7 ? " -> " $8 : "") }' | sort) \
  || fail "file list"

# The copy of this system; its changes collect in upper/.
mkdir "$tmp"/{upper,work,root}
mount -t overlay overlay -o lowerdir=/,upperdir="$tmp/upper",workdir="$tmp/work" "$tmp/root"
root=$tmp/root
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount -t tmpfs tmpfs "$root/tmp"
cp "$deb" "$here/x11-session.sh" "$root/tmp/"
dpkg_in_root() { chroot "$root" dpkg "$@" </dev/null >>"$tmp/dpkg.log" 2>&1 || { cat "$tmp/dpkg.log"; fail "dpkg $*"; }; }
dpkg_in_root --purge tembrio
dpkg_in_root --install /tmp/tembrio_1.01_amd64.deb

for png in "$root"/usr/share/icons/hicolor/*/apps/$id.png; do
  [[ $png == */$(identify -format %wx%h "$png")/* ]] || fail "$png is $(identify -format %wx%h "$png")"
done
desktop=$root/usr/share/applications/$id.desktop
metainfo=$root/usr/share/metainfo/$id.metainfo.xml
desktop-file-validate "$desktop" || fail "desktop-file-validate"
# Tembrio has no homepage: AppStream 1.x (Debian 13) warns, 0.16 knows no such check.
as=(); [[ $(appstreamcli --version) == *" 0."* ]] || as=(--override=url-homepage-missing=info)
appstreamcli validate --no-net "${as[@]}" "$metainfo" >"$tmp/as.log" 2>&1 || { cat "$tmp/as.log"; fail "appstreamcli validate"; }
grep -qx "Icon=$id" "$desktop" || fail "Icon= is not $id"
# The program takes no file from the desktop: neither file claims types to open.
! grep -q '^MimeType' "$desktop" && ! grep -q '<mediatype>' "$metainfo" || fail "MimeType or mediatype claimed"
grep -q '<release version="1.01" date="[0-9-]*"/>' "$metainfo" || fail "metainfo release"
# The manual page renders without a warning and names every command of the popup.
man=$root/usr/share/man/man1/tembrio.1.gz
[ -z "$(zcat "$man" | groff -man -ww -z 2>&1)$(man --warnings -l "$man" 2>&1 >/dev/null)" ] || fail "manual page warnings"
page=$(MANWIDTH=80 man -l "$man" 2>/dev/null)
while read -r caption; do grep -qF -- "$caption" <<<"$page" || fail "the manual page lacks \"$caption\""
done < <(sed -n 's/^ *{"mnu[A-Za-z]*", "\([^-][^"]*\)"},$/\1/p' "$here/../app/Menu.cpp")
# The record is read from the file, without running it.
record=$(readelf -p .tembrio_version "$root/usr/lib/tembrio/tembrio")
for field in 'FILEVERSION=1,1,0,0' 'PRODUCTVERSION=1,1,0,0' 'Translation=0x0410, 1200' 'FileVersion=1.01' \
             'ProductVersion=1.01' 'ProductName=Tembrio' "FileDescription=$(sed -n 's/^Comment=//p' "$desktop")"; do
  grep -qF "]  $field" <<<"$record" || fail "record lacks $field"
done

# Started as a menu would, the entry's Exec line through PATH, from a folder
# with a list of its own: the demo's first clip, orange, must show.
mkdir "$root/tmp/elsewhere"
echo /usr/share/tembrio/demo/2-video.avi >"$root/tmp/elsewhere/list.m3u"
orange() { local r g b; read -r r g b <<<"$1"; (( ${r:-0} > 215 && ${g:-0} > 105 && ${g:-0} < 155 && ${b:-99} < 45 )); }
EXEC_LINE=$(sed -n 's/^Exec=//p' "$desktop")
export EXEC_LINE
export -f orange
seen=$(chroot "$root" /tmp/x11-session.sh bash -c '
  cd /tmp/elsewhere
  $EXEC_LINE >/dev/null 2>&1 & pid=$!
  window=$(timeout 30 xdotool search --sync --onlyvisible --pid "$pid" | head -n 1) || true
  if [ -n "$window" ]; then
    xprop -id "$window" _NET_WM_NAME
    for _ in $(seq 40); do
      import -window "$window" /tmp/shot.png
      # Left of the centred text, 40% of the way down the window.
      colour=$(identify -format "%[fx:int(255*mean.r+.5)] %[fx:int(255*mean.g+.5)] %[fx:int(255*mean.b+.5)]" \
        "/tmp/shot.png[16x16+8+$(( $(identify -format %h /tmp/shot.png) * 4 / 10 ))]")
      orange "$colour" && break
      sleep 0.5
    done
    echo "$colour"
  fi
  kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true')
cp "$root/tmp/shot.png" "$build/test_package.png" 2>/dev/null || true
[ "$(head -n 1 <<<"$seen")" = '_NET_WM_NAME(UTF8_STRING) = "Tembrio"' ] || fail "window title: '$seen'"
orange "$(tail -n 1 <<<"$seen")" || fail "the picture is ($(tail -n 1 <<<"$seen")), not the demo's orange"
echo "the installed program showed ($(tail -n 1 <<<"$seen")), saved in $build/test_package.png"

# What the package left in the copy, beyond dpkg's own records.
leftovers() {
  (cd "$tmp/upper" && { find . ! -type c; grep -rl -i tembrio .; } | grep -i tembrio \
    | grep -v -e '^\./var/lib/dpkg/' -e '^\./var/log/' | sort -u | tr '\n' ' ')
}
printf '#EXTM3U\n/media/cdrom/MPEGAV/AVSEQ01.DAT\n' >"$root/etc/tembrio/list.m3u"
cp "$root/etc/tembrio/list.m3u" "$tmp/edited"
dpkg_in_root --install /tmp/tembrio_1.01_amd64.deb
cmp -s "$tmp/edited" "$root/etc/tembrio/list.m3u" || fail "the edited list did not survive a reinstall"
dpkg_in_root --remove tembrio
[ "$(leftovers)" = "./etc/tembrio ./etc/tembrio/list.m3u " ] || fail "after remove: $(leftovers)"
dpkg_in_root --purge tembrio
[ -z "$(leftovers)" ] || fail "after purge: $(leftovers)"

if [ "$failed" -ne 0 ]; then echo "$failed package checks failed"; exit 1; fi
echo "package checks passed"
