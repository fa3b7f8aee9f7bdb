#!/usr/bin/env bash
# Runs one command as a Qt client of a private headless weston (1024x768): the
# pixman renderer gives the output pixels, and --debug lets weston-screenshooter
# take them. Exits 77 (skipped) when there is no weston.
set -euo pipefail
command -v weston >/dev/null || { echo "SKIP: no weston"; exit 77; }
work=$(mktemp -d)
export XDG_RUNTIME_DIR=$work WAYLAND_DISPLAY=tembrio QT_QPA_PLATFORM=wayland
unset DISPLAY
# weston 10 names its backend by file and its renderer by a flag; 11 and later by short names.
backend=(--backend=headless-backend.so --use-pixman)
[[ $(weston --version) =~ ([0-9]+)\. ]] && ((BASH_REMATCH[1] > 10)) && backend=(--backend=headless --renderer=pixman)
weston "${backend[@]}" --width=1024 --height=768 --socket=tembrio --debug --idle-time=0 >"$work/weston.log" 2>&1 &
trap "kill $!; wait; rm -rf '$work'" EXIT
for _ in $(seq 100); do [ -S "$work/tembrio" ] && break; sleep 0.1; done
"$@" || { status=$?; cat "$work/weston.log"; exit "$status"; }
