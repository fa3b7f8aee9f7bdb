#!/usr/bin/env bash
# Tembrio against the bare mpv command line, side by side in one private X
# server (1280x1024, openbox), on the same 640x480 25 fps clip shown at the
# same picture size. Runs alternate, Tembrio first. Every figure is read from
# outside the programs: the screen through bench/probe, CPU and memory
# through /proc.
#
#   bash bench/run.sh [BUILD_DIR] [RUNS] [SECONDS]   (defaults: build 7 10)
#
# Writes BUILD_DIR/bench/results.md (a Markdown table) and ratios.png.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
runs=${2:-7}
seconds=${3:-10}
probe=$build/bench/probe
[ -x "$build/tembrio" ] && [ -x "$probe" ] || { echo "build first: bash build.sh bench" >&2; exit 1; }

if [ -z "${TEMBRIO_BENCH_INSIDE:-}" ]; then
  TEMBRIO_BENCH_INSIDE=1 X11_SCREEN=1280x1024x24 exec "$here/../tests/x11-session.sh" bash "$0" "$build" "$runs" "$seconds"
fi

out=$build/bench
mkdir -p "$out"
rm -f "$out/samples.txt"
work=$(mktemp -d)
trap 'pkill -P $$ 2>/dev/null || true; rm -rf "$work"' EXIT

# The clip: green (30,169,29) under a moving white box, so that every frame
# is new to the decoder; long enough for one whole Tembrio run.
clip=$out/clip640.mpg
colour=30,169,29
if [ ! -s "$clip" ]; then
  ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi \
    -i "color=c=0x1EA91D:s=640x480:r=25:d=60,drawbox=x='mod(t*160,560)':y=380:w=80:h=60:c=white:t=fill" \
    -f lavfi -i "sine=f=440:r=48000:d=60" \
    -c:v mpeg2video -q:v 3 -g 12 -c:a mp2 -b:a 128k -f vob "$clip"
fi

cpu() { awk -v hz="$(getconf CLK_TCK)" '{ printf "%.3f", ($14 + $15) / hz }' "/proc/$1/stat"; }
# CPU share of one core, in percent, over a span of seconds.
cpu_over() {
  local pid=$1 span=$2 before after
  before=$(cpu "$pid"); sleep "$span"; after=$(cpu "$pid")
  awk -v a="$after" -v b="$before" -v s="$span" 'BEGIN { printf "%.2f", 100 * (a - b) / s }'
}
peak_mb() { awk '/^VmHWM/ { printf "%.1f", $2 / 1024 }' "/proc/$1/status"; }
record() { echo "$1 $2 $3" >>"$out/samples.txt"; }  # program metric value

# The whole screen but the top rows: that is where a window manager puts
# title bars, and the picture never starts there.
screen_region=0,40,1280,984
# Windows open near the middle of the screen; a full-screen picture covers
# this patch up to the left.
corner_region=40,100,200,40

run_tembrio() {
  local dir=$work/tembrio ms pid
  rm -rf "$dir"; mkdir -p "$dir"
  cp "$build/tembrio" "$dir/"
  echo "$clip" >"$dir/list.m3u"
  read -r ms pid < <("$probe" start --match $colour --region $screen_region --min 400 -- "$dir/tembrio")
  [ "$ms" -ge 0 ] || { echo "tembrio showed no picture" >&2; exit 1; }
  record tembrio first_frame_ms "$ms"
  if [ ! -s "$work/picture" ]; then
    sleep 0.5; "$probe" bbox $colour >"$work/picture"
  fi
  read -r px py pw ph <"$work/picture"
  local cx=$((px + pw / 4)) cy=$((py + ph / 4))
  sleep 1
  record tembrio cpu_window "$(cpu_over "$pid" "$seconds")"
  "$probe" click $cx $cy 1 --match $colour --region $cx,$cy,1,1 >/dev/null  # pauses
  sleep 1
  record tembrio cpu_paused "$(cpu_over "$pid" 5)"
  "$probe" click $cx $cy 1 --match $colour --region $cx,$cy,1,1 >/dev/null  # plays
  sleep 0.5
  record tembrio popup_ms "$("$probe" click $cx $cy 3 --differ $colour --region $((cx + 6)),$((cy + 6)),60,30 --min 300)"
  "$probe" keys ff54 ff54 ff54  # Down to "A Schermo intero"
  record tembrio fullscreen_ms "$("$probe" key ff0d --match $colour --region $corner_region --min 200)"
  sleep 1
  record tembrio cpu_fullscreen "$(cpu_over "$pid" "$seconds")"
  record tembrio peak_mb "$(peak_mb "$pid")"
  kill "$pid"; while kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
}

run_mpv() {
  local ms pid
  read -r px py pw ph <"$work/picture"
  read -r ms pid < <("$probe" start --match $colour --region $screen_region --min 400 -- \
                       mpv --geometry="${pw}x${ph}" "$clip")
  [ "$ms" -ge 0 ] || { echo "mpv showed no picture" >&2; exit 1; }
  record mpv first_frame_ms "$ms"
  sleep 1
  record mpv cpu_window "$(cpu_over "$pid" "$seconds")"
  "$probe" keys 20  # space: pause
  sleep 1
  record mpv cpu_paused "$(cpu_over "$pid" 5)"
  "$probe" keys 20 66  # play, then f: full screen
  "$probe" wait --match $colour --region $corner_region --min 200 >/dev/null
  sleep 1
  record mpv cpu_fullscreen "$(cpu_over "$pid" "$seconds")"
  record mpv peak_mb "$(peak_mb "$pid")"
  kill "$pid"; while kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
}

echo "$runs runs of each, ${seconds} s of playback per CPU figure" >&2
for i in $(seq "$runs"); do
  echo "run $i" >&2
  run_tembrio
  run_mpv
done

# Median and spread (min-max) per program and metric, and the median ratio.
awk -v runs="$runs" -v date="$(date -u +%Y-%m-%d)" -v cpu="$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')" \
    -v cores="$(nproc)" -v gl="$(ls /dev/dri/renderD* >/dev/null 2>&1 && echo 'a GPU' || echo 'no GPU, Mesa llvmpipe')" '
function median(key,   n, i, j, t, v) {
  n = split(values[key], v, " ")
  for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
  lo[key] = v[1]; hi[key] = v[n]
  return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
}
{ values[$1 " " $2] = values[$1 " " $2] " " $3 }
END {
  split("first_frame_ms cpu_window cpu_fullscreen peak_mb cpu_paused popup_ms fullscreen_ms", order, " ")
  label["first_frame_ms"] = "start to first frame (ms)"
  label["cpu_window"] = "CPU playing, window (% of a core)"
  label["cpu_fullscreen"] = "CPU playing, full screen 1280x1024 (% of a core)"
  label["peak_mb"] = "peak resident memory (MB)"
  label["cpu_paused"] = "CPU paused (% of a core)"
  label["popup_ms"] = "right click to popup shown (ms)"
  label["fullscreen_ms"] = "\"A Schermo intero\" to full-screen picture (ms)"
  target["first_frame_ms"] = "ratio <= 1.10"; target["cpu_window"] = "ratio <= 1.10"
  target["cpu_fullscreen"] = "ratio <= 1.10"; target["peak_mb"] = "ratio <= 1.5"
  target["cpu_paused"] = "< 0.5"; target["popup_ms"] = "< 50"; target["fullscreen_ms"] = "-"
  printf "Machine: %s, %d cores, X: Xvfb 1280x1024 + openbox, %s. Date: %s. %d runs each, alternating.\n\n", cpu, cores, gl, date, runs
  print "| measure | Tembrio median (min-max) | mpv median (min-max) | median ratio (min-max) | target |"
  print "|---|---|---|---|---|"
  for (k = 1; k <= 7; k++) {
    m = order[k]; t = median("tembrio " m); tl = lo["tembrio " m]; th = hi["tembrio " m]
    if (("mpv " m) in values) {
      v = median("mpv " m)
      # Runs alternate, so run i of each forms a pair: the median of the
      # ratios of the pairs.
      n = split(values["tembrio " m], tv, " "); split(values["mpv " m], mv, " "); ratios = ""
      for (i = 1; i <= n; i++) if (mv[i] > 0) ratios = ratios " " tv[i] / mv[i]
      values["ratio " m] = ratios
      r = ratios == "" ? "-" : sprintf("%.2f", median("ratio " m))
      rr = r == "-" ? "-" : sprintf("%s (%.2f-%.2f)", r, lo["ratio " m], hi["ratio " m])
      printf "| %s | %g (%g-%g) | %g (%g-%g) | %s | %s |\n", label[m], t, tl, th, v, lo["mpv " m], hi["mpv " m], rr, target[m]
      if (r != "-") printf "%s %s\n", m, r > "/dev/stderr"
    } else {
      printf "| %s | %g (%g-%g) | - | - | %s |\n", label[m], t, tl, th, target[m]
    }
  }
}' "$out/samples.txt" >"$out/results.md" 2>"$work/ratios"

# A bar per ratio, with lines at 1.0 (red) and at the 1.10 target (grey).
args=()
y=30
while read -r metric ratio; do
  width=$(awk -v r="$ratio" 'BEGIN { w = r * 200; if (w > 560) w = 560; printf "%d", w }')
  args+=(-fill '#3070c0' -draw "rectangle 220,$y $((220 + width)),$((y + 24))"
         -fill black -draw "text 10,$((y + 17)) '$metric'" -draw "text $((226 + width)),$((y + 17)) '$ratio'")
  y=$((y + 40))
done <"$work/ratios"
convert -size 820x$((y + 20)) xc:white -font DejaVu-Sans -pointsize 14 \
  -fill black -draw "text 10,18 'Tembrio / mpv, median ratios (red: 1.0, grey: 1.10)'" \
  "${args[@]}" -stroke red -draw "line 420,26 420,$((y - 10))" \
  -stroke gray -draw "line 440,26 440,$((y - 10))" "$out/ratios.png"

cat "$out/results.md"
echo "written: $out/results.md $out/ratios.png" >&2
