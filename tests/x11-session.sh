#!/usr/bin/env bash
# Runs one command inside a private X server with a real window manager, so
# that window sizes and the full screen behave as on a desktop, and a private
# session bus. X11_SCREEN sets the screen (default 1024x768x24).
set -euo pipefail
work=$(mktemp -d)
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 "${X11_SCREEN:-1024x768x24}" -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
xvfb=$!
wm= bus=
cleanup() { for p in $wm $bus; do kill "$p" 2>/dev/null; done; kill "$xvfb" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
export XDG_RUNTIME_DIR="$work" XDG_CONFIG_HOME="$work/config"
dbus-daemon --session --nofork --print-address=4 4>"$work/bus" 2>"$work/bus.log" &
bus=$!
for _ in $(seq 100); do [ -s "$work/bus" ] && break; sleep 0.1; done
export DBUS_SESSION_BUS_ADDRESS="$(head -n 1 "$work/bus")"
openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm=$!
# Ready when the window manager has announced itself on the root window.
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.1; done
"$@"
