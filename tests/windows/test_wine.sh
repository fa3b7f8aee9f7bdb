#!/usr/bin/env bash
# The Windows program as a Windows user gets it: the installer run under
# wine64, then the installed Tembrio.exe driven by real X input in the
# private X server and window manager of tests/x11-session.sh:
#   bash tests/x11-session.sh bash tests/windows/test_wine.sh BUILD
# BUILD is the Windows build tree of `bash build.sh windows`. Screenshots of
# each step are left in BUILD/wine-shots.
set -euo pipefail
build=$(readlink -f "$1")
here=$(dirname "$(readlink -f "$0")")
source_dir=$(readlink -f "$here/../..")
work=$(mktemp -d)
shots=$build/wine-shots
rm -rf "$shots" && mkdir -p "$shots"
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and Wine would offer to download them.
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
program=
cleanup() {
  [ -z "$program" ] || kill "$program" 2>/dev/null || true
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

step=0
shot() { step=$((step + 1)); import -window root "$shots/$(printf %02d $step)-$1.png"; }
fail() { echo "test_wine: FAIL: $*" >&2; shot failure || true; exit 1; }
ok() { echo "test_wine: ok: $*"; }
# wait_for SECONDS WHAT COMMAND...: until COMMAND succeeds.
wait_for() {
  local limit=$1 until=$(( $(date +%s) + $1 )) what=$2; shift 2
  until "$@"; do
    [ "$(date +%s)" -lt "$until" ] || fail "waited ${limit}s for $what"
    sleep 0.2
  done
}
windows_path() { $wine winepath -w "$1" 2>/dev/null | tr -d '\r'; }

# --- the executable's own record, as Windows reads it -------------------------
x86_64-w64-mingw32-gcc-posix -municode -O2 -o "$work/resources.exe" "$here/resources.c" -lversion
x86_64-w64-mingw32-gcc-posix -municode -mwindows -O2 -o "$work/dxdiag.exe" "$here/dxdiag.c"
t0=$(date +%s)
$wine wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot"
echo "test_wine: Wine prefix made in $(( $(date +%s) - t0 ))s"
record=$($wine "$work/resources.exe" "$(windows_path "$build/Tembrio/Tembrio.exe")" | tr -d '\r')
expected="FILEVERSION=1,1,0,0
PRODUCTVERSION=1,1,0,0
Translation=0x0410,1200
FileDescription=Lettore multimediale per Video CD, video e audio
FileVersion=1.01
ProductName=Tembrio
ProductVersion=1.01
Icon=32x32 4 bits
Icon=32x32 8 bits"
[ "$record" = "$expected" ] || fail "version record and icons: got
$record"
ok "version record 1.01 (1,1,0,0), Italian 0x0410/1200, and the 16 and 256-colour 32x32 icons"

# --- the installer --------------------------------------------------------------
installed="$WINEPREFIX/drive_c/Program Files/Tembrio"
$wine "$(ls "$build"/Tembrio-*-setup.exe)" /S || fail "the installer"
wait_for 60 "the installed program" test -f "$installed/Disinstalla.exe"
for f in Tembrio.exe list.m3u platforms/qwindows.dll libmpv-2.dll Qt6Core.dll demo/1-videocd.dat; do
  [ -f "$installed/$f" ] || fail "not installed: $f"
done
[ -n "$(find "$WINEPREFIX/drive_c" -name Tembrio.lnk)" ] || fail "no Start menu entry"
ok "installed into Program Files with its list, a Start menu entry and an uninstaller"

# --- the screen ---------------------------------------------------------------------
# geometry ID: X Y WIDTH HEIGHT of a window's inside, on the screen.
geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
    /^  Width/ {w=$NF} /^  Height/ {h=$NF} END {print x, y, w, h}'
}
# share REGION COLOUR...: how much of the screen region (WxH+X+Y) shows one
# of the colours, in percent. White and near-white are none of them.
share() {
  local region=$1 args=(); shift
  for c; do args+=(-opaque "#$c"); done
  import -window root "$work/screen.png"
  convert "$work/screen.png" -crop "$region" +repage -fuzz 12% -fill black -opaque white \
    -fill white "${args[@]}" -fill black +opaque white -format '%[fx:int(100*mean)]' info:
}
window_region() { read -r x y w h < <(geometry "$1"); echo "${w}x${h}+${x}+${y}"; }
screen_region() { xwininfo -root | awk '/^  Width/ {w=$NF} /^  Height/ {h=$NF} END {print w "x" h "+0+0"}'; }
demo=(F08214 14968C 8228B4)  # the demo clips' colours
shows() { local value; value=$(share "$1" "${@:4}"); [ "$value" "$2" "$3" ]; }  # shows REGION -ge|-lt N COLOUR...

start_program() {
  (cd "$work" && WINEPATH=$(windows_path "$work") exec $wine "C:\\Program Files\\Tembrio\\Tembrio.exe") \
    >"$work/program.log" 2>&1 &
  program=$!
  main=
  wait_for 60 "the main window \"Tembrio\"" eval 'main=$(xdotool search --onlyvisible --name "^Tembrio$" 2>/dev/null | head -n 1); [ -n "$main" ]'
}
# A right click in the middle of the picture.
popup() {
  read -r x y w h < <(geometry "$main")
  xdotool mousemove $((x + w / 2)) $((y + h / 3)) click 3
  menu=
  wait_for 20 "the popup" eval 'menu=$(for id in $(xdotool search --onlyvisible --name "^Tembrio$" 2>/dev/null); do
    xwininfo -id $id 2>/dev/null | grep -q "Override Redirect State: yes" && echo $id; done | head -n 1); [ -n "$menu" ]'
}
ends_with() {  # ends_with CODE: the program has ended with it
  local code=0
  wait_for 30 "the program's end" eval '! kill -0 $program 2>/dev/null'
  wait "$program" || code=$?
  program=
  [ "$code" -eq "$1" ] || fail "exit code $code, not $1"
}

# --- the demo ---------------------------------------------------------------------
start_program
read -r _ _ w h < <(geometry "$main")
[ "$w" = 355 ] && [ "$h" = 367 ] || fail "client area ${w}x${h}, not 355x367"
ok "main window \"Tembrio\" with a client area of 355x367"
wait_for 60 "the demo's picture" shows "$(window_region "$main")" -ge 30 "${demo[@]}"
shot demo
ok "the demo list plays"

popup
shot popup
# Rows of the menu's inside: a run of rows with ink at least 5 high is an
# item, one of 1 to 3 a separator line.
read -r x y w h < <(geometry "$menu")
import -window root "$work/screen.png"
runs=$(convert "$work/screen.png" -crop "$((w - 8))x$((h - 4))+$((x + 4))+$((y + 2))" +repage \
  -colorspace gray -threshold 80% -negate -scale "1x$((h - 4))!" -depth 8 txt:- |
  awk -F'[(),]' 'NR > 1 {ink = ($3 + 0) > 0; if (ink) n++; else if (n) {print n; n = 0}} END {if (n) print n}')
items=$(awk '$1 >= 5' <<<"$runs" | wc -l) lines=$(awk '$1 < 5' <<<"$runs" | wc -l)
[ "$items" = 10 ] && [ "$lines" = 4 ] || fail "popup of $items items and $lines separators, not 10 and 4"
ok "a right click opens the popup of 14 entries (10 items, 4 separators)"

xdotool key Down Down Down Return  # "A Schermo intero"
wait_for 30 "the full screen" shows "$(screen_region)" -ge 50 "${demo[@]}"
shot full-screen
xdotool key Escape
wait_for 30 "the picture back in the window" eval \
  'shows "$(screen_region)" -lt 30 "${demo[@]}" && shows "$(window_region "$main")" -ge 30 "${demo[@]}"'
shot back-in-window
ok "\"A Schermo intero\" covers the screen and Esc brings the picture back"

popup
xdotool key Up Up Return  # "Info"
about=
wait_for 30 "the about box" eval 'about=$(for id in $(xdotool search --onlyvisible --class "tembrio.exe" 2>/dev/null); do
  [ "$id" = "$main" ] || echo $id; done | head -n 1); [ -n "$about" ]'
shot about
xdotool key Tab space  # "Info DirectX"
wait_for 30 "dxdiag.exe from the path" test -f "$work/dxdiag-started"
xdotool key Escape
wait_for 30 "the about box's close" eval '! xwininfo -id $about 2>/dev/null | grep -q IsViewable'
ok "\"Info\" shows the about box, and \"Info DirectX\" starts the dxdiag.exe found first on the path"

popup
xdotool key Down Return  # "Apri"
# The system's open dialog, titled "Tembrio" as the main window is.
others() { for id in $(xdotool search --onlyvisible --name "^Tembrio$" 2>/dev/null); do [ "$id" = "$main" ] || echo "$id"; done; }
wait_for 30 "the system's open dialog" eval '[ -n "$(others)" ]'
shot open-dialog
xdotool key Escape
wait_for 30 "the open dialog's close" eval '[ -z "$(others)" ]'
ok "\"Apri\" shows the system's open dialog, and a cancel leaves the program as it was"

popup
xdotool key Up Return  # "Esci"
ends_with 0
ok "\"Esci\" ends the program with exit code 0"

# --- a Video CD image -------------------------------------------------------------------
bash "$source_dir/resources/media.sh" vcd-pair "$work/vcd"
printf '%s\r\n' "$(windows_path "$work/vcd/pair.cue")" >"$installed/list.m3u"
start_program
wait_for 60 "the Video CD's first track (red)" shows "$(window_region "$main")" -ge 30 C81E1E
shot videocd-track-1
wait_for 60 "the Video CD's second track (blue)" shows "$(window_region "$main")" -ge 30 1E3CC8
shot videocd-track-2
ok "a Video CD image (.cue/.bin) plays track by track"
popup
xdotool key Up Return
ends_with 0

# --- the uninstaller ------------------------------------------------------------------
$wine "C:\\Program Files\\Tembrio\\Disinstalla.exe" /S || fail "the uninstaller"
wait_for 60 "the uninstall" eval '[ ! -e "$installed/Tembrio.exe" ]'
ok "the uninstaller removes the program"
echo "test_wine: passed"
