#!/usr/bin/env bash
# Builds the .deb from a build tree, unpacks it and checks what a Debian
# desktop gets from it: the exact file list, a valid desktop entry and
# AppStream data, icons as large as their folders say, the version record in
# the shipped binary, and the menu entry's command bringing up the window.
#   test_package.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
id=it.tembrio.Tembrio
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

failed=0
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }

cpack --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 || { cat "$tmp/cpack.log"; exit 1; }
deb=$tmp/out/tembrio_1.01_amd64.deb
[ -f "$deb" ] || { ls "$tmp/out"; echo "FAIL: no $deb"; exit 1; }

# Control fields; Depends must be the computed one, naming the libraries linked.
[ "$(dpkg-deb -f "$deb" Package Version Section | tr '\n' ' ')" = "Package: tembrio Version: 1.01 Section: video " ] \
  || fail "control: $(dpkg-deb -f "$deb" Package Version Section)"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libmpv2 libqt6widgets6 libqt6openglwidgets6 libc6; do
  [[ ", $depends," == *", $lib "* ]] || fail "Depends lacks $lib: $depends"
done
[ "$(dpkg-deb -f "$deb" Recommends)" = fonts-liberation ] || fail "Recommends: $(dpkg-deb -f "$deb" Recommends)"

root=$tmp/root
dpkg-deb -x "$deb" "$root"
expected=(usr/bin/tembrio "usr/share/applications/$id.desktop" usr/share/doc/tembrio/copyright
          "usr/share/metainfo/$id.metainfo.xml")
for n in 16 24 32 48 64 128 256; do expected+=("usr/share/icons/hicolor/${n}x$n/apps/$id.png"); done
diff -u <(printf '%s\n' "${expected[@]}" | sort) <(cd "$root" && find . ! -type d | sed 's|^\./||' | sort) \
  || fail "file list"
for n in 16 24 32 48 64 128 256; do
  size=$(identify -format '%wx%h' "$root/usr/share/icons/hicolor/${n}x$n/apps/$id.png")
  [ "$size" = "${n}x$n" ] || fail "icon ${n}x$n is $size"
done

desktop=$root/usr/share/applications/$id.desktop
metainfo=$root/usr/share/metainfo/$id.metainfo.xml
desktop-file-validate "$desktop" || fail "desktop-file-validate"
# Tembrio has no homepage: AppStream 1.x (Debian 13) warns, 0.16 knows no such check.
as=(); [[ $(appstreamcli --version) == *" 0."* ]] || as=(--override=url-homepage-missing=info)
appstreamcli validate --no-net "${as[@]}" "$metainfo" >"$tmp/as.log" 2>&1 || { cat "$tmp/as.log"; fail "appstreamcli validate"; }
grep -qx "Icon=$id" "$desktop" || fail "Icon= is not $id"
grep -qx 'MimeType=video/mpeg;video/x-msvideo;audio/mpeg;audio/x-wav;audio/x-mpegurl;application/x-riff;' "$desktop" \
  || fail "MimeType"
grep -q '<release version="1.01" date="[0-9-]*"/>' "$metainfo" || fail "metainfo release"

# The record is read from the file, without running it.
record=$(readelf -p .tembrio_version "$root/usr/bin/tembrio")
for field in 'FILEVERSION=1,1,0,0' 'PRODUCTVERSION=1,1,0,0' 'Translation=0x0410, 1200' 'FileVersion=1.01' \
             'ProductVersion=1.01' 'ProductName=Tembrio' "FileDescription=$(sed -n 's/^Comment=//p' "$desktop")"; do
  grep -qF "]  $field" <<<"$record" || fail "record lacks $field"
done

# Started as a menu would: the entry's Exec line, found through PATH.
EXEC_LINE=$(sed -n 's/^Exec=//p' "$desktop")
export EXEC_LINE PATH="$root/usr/bin:$PATH"
title=$("$here/x11-session.sh" bash -c '
  $EXEC_LINE >/dev/null 2>&1 & pid=$!
  window=$(timeout 30 xdotool search --sync --onlyvisible --pid "$pid" | head -n 1) || true
  [ -n "$window" ] && xprop -id "$window" _NET_WM_NAME
  kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true')
[ "$title" = '_NET_WM_NAME(UTF8_STRING) = "Tembrio"' ] || fail "window title: '$title'"

if [ "$failed" -ne 0 ]; then echo "$failed package checks failed"; exit 1; fi
echo "package checks passed"
