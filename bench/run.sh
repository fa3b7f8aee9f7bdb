#!/usr/bin/env bash
# Tembrio against the players a user could pick instead: mpv on its defaults,
# mpv with its best output here (--vo=x11), the same with its sound played to a
# null output as Tembrio's is without a sound device, and ffplay, side by side
# in one private X server (1280x1024, openbox), on the same 640x480 25 fps clip
# shown at the same picture size. Runs alternate, Tembrio first. Every figure is
# read from outside the programs: the screen through bench/probe, CPU and
# memory through /proc. Each ratio is against the best peer for that measure.
#
#   bash bench/run.sh [BUILD_DIR] [RUNS] [SECONDS]   (defaults: build 7 10)
#
# Writes BUILD_DIR/bench/results.md (a Markdown table), samples.txt (every
# run) and ratios.png.
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

# A peer: NAME, its pause and full-screen keys (keysyms), then its command
# line, which gets the clip last.
run_peer() {
  local name=$1 pause=$2 full=$3 ms pid
  shift 3
  read -r ms pid < <("$probe" start --match $colour --region $screen_region --min 400 -- "$@" "$clip")
  [ "$ms" -ge 0 ] || { echo "$name showed no picture" >&2; exit 1; }
  record "$name" first_frame_ms "$ms"
  sleep 1
  record "$name" cpu_window "$(cpu_over "$pid" "$seconds")"
  "$probe" keys "$pause"
  sleep 1
  record "$name" cpu_paused "$(cpu_over "$pid" 5)"
  "$probe" keys "$pause" "$full"
  "$probe" wait --match $colour --region $corner_region --min 200 >/dev/null
  sleep 1
  record "$name" cpu_fullscreen "$(cpu_over "$pid" "$seconds")"
  record "$name" peak_mb "$(peak_mb "$pid")"
  kill "$pid"; while kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
}

# How long a list of 300,000 entries holds up the first frame, against one.
run_big_list() {
  local dir=$work/big ms pid
  rm -rf "$dir"; mkdir -p "$dir"
  cp "$build/tembrio" "$dir/"
  awk -v c="$clip" 'BEGIN { for (i = 0; i < 300000; i++) print c }' >"$dir/list.m3u"
  read -r ms pid < <("$probe" start --match $colour --region $screen_region --min 400 -- "$dir/tembrio")
  [ "$ms" -ge 0 ] || { echo "tembrio showed no picture with the big list" >&2; exit 1; }
  record tembrio big_list_ms "$ms"
  sleep 5
  record tembrio big_list_mb "$(peak_mb "$pid")"
  kill "$pid"; while kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
}

# A Video CD track read from a disc image in 2336-byte frames through our own protocol, against
# the same track as a RIFF/CDXA .dat, which the engine reads as a file.
vcd=$out/videocd
[ -s "$vcd/track.dat" ] && [ -s "$vcd/s2336.bin" ] || bash "$here/../resources/media.sh" vcd-bench "$vcd"
run_videocd() {
  local kind dir ms pid
  for kind in dat image; do
    dir=$work/vcd-$kind
    rm -rf "$dir"; mkdir -p "$dir"
    cp "$build/tembrio" "$dir/"
    if [ "$kind" = dat ]; then echo "$vcd/track.dat"; else echo "$vcd/s2336.cue"; fi >"$dir/list.m3u"
    read -r ms pid < <("$probe" start --match $colour --region $screen_region --min 400 -- "$dir/tembrio")
    [ "$ms" -ge 0 ] || { echo "tembrio showed no Video CD picture ($kind)" >&2; exit 1; }
    record tembrio "vcd_${kind}_ms" "$ms"
    sleep 1
    record tembrio "vcd_${kind}_cpu" "$(cpu_over "$pid" "$seconds")"
    kill "$pid"; while kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
  done
}

echo "$runs runs of each, ${seconds} s of playback per CPU figure" >&2
for i in $(seq "$runs"); do
  echo "run $i" >&2
  run_tembrio
  read -r px py pw ph <"$work/picture"
  run_peer mpv 20 66 mpv --geometry="${pw}x${ph}"
  run_peer mpv-x11 20 66 mpv --vo=x11 --geometry="${pw}x${ph}"
  # Without a sound device mpv drops the sound, while Tembrio decodes it and
  # plays it to a null output; this one does the same work as Tembrio.
  run_peer mpv-x11-null 20 66 mpv --vo=x11 --audio-fallback-to-null=yes --geometry="${pw}x${ph}"
  run_peer ffplay 70 66 ffplay -hide_banner -loglevel error -x "$pw" -y "$ph"
  run_big_list
  run_videocd
done

# Medians and spreads per program and measure; each ratio is the median of
# the paired runs' ratios (run i of each) against the peer with the best
# median for that measure.
awk -v runs="$runs" -v date="$(date -u +%Y-%m-%d)" -v cpu="$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')" \
    -v cores="$(nproc)" -v gl="$(ls /dev/dri/renderD* >/dev/null 2>&1 && echo 'a GPU' || echo 'no GPU, Mesa llvmpipe')" '
function median(key,   n, i, j, t, v) {
  n = split(values[key], v, " ")
  for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (v[j] + 0 < v[i] + 0) { t = v[i]; v[i] = v[j]; v[j] = t }
  lo[key] = v[1]; hi[key] = v[n]
  return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
}
function spread(key,   m) { m = median(key); return sprintf("%g (%g-%g)", m, lo[key], hi[key]) }
# The median of the ratios a / b of the paired runs.
function ratio(a, b, name,   n, i, av, bv, r) {
  n = split(values[a], av, " "); split(values[b], bv, " "); r = ""
  for (i = 1; i <= n; i++) if (bv[i] > 0) r = r " " av[i] / bv[i]
  values[name] = r
  return median(name)
}
{ values[$1 " " $2] = values[$1 " " $2] " " $3 }
END {
  np = split("mpv mpv-x11 mpv-x11-null ffplay", peers, " ")
  split("first_frame_ms cpu_window cpu_fullscreen peak_mb cpu_paused", order, " ")
  label["first_frame_ms"] = "start to first frame (ms)"; target["first_frame_ms"] = 1.00
  label["cpu_window"] = "CPU playing, window (% of a core)"; target["cpu_window"] = 1.00
  label["cpu_fullscreen"] = "CPU playing, full screen (% of a core)"; target["cpu_fullscreen"] = 1.00
  label["peak_mb"] = "peak resident memory (MB)"; target["peak_mb"] = 1.10
  label["cpu_paused"] = "CPU paused (% of a core)"
  printf "Machine: %s, %d cores, X: Xvfb 1280x1024 + openbox, %s. Date: %s. %d runs each, alternating.\n\n", cpu, cores, gl, date, runs
  print "| measure | Tembrio | mpv (defaults) | mpv --vo=x11 | mpv --vo=x11, sound to null | ffplay | best peer | ratio to it (min-max) | target | met |"
  print "|---|---|---|---|---|---|---|---|---|---|"
  for (k = 1; k <= 5; k++) {
    m = order[k]; best = ""
    line = sprintf("| %s | %s |", label[m], spread("tembrio " m))
    for (p = 1; p <= np; p++) {
      key = peers[p] " " m
      if (!(key in values)) { line = line " - |"; continue }
      v = median(key); line = line " " spread(key) " |"
      if (best == "" || v < bestv) { best = peers[p]; bestv = v }
    }
    if (m == "cpu_paused") {
      printf "%s - | - | 0 | %s |\n", line, median("tembrio " m) == 0 ? "yes" : "no"
      continue
    }
    r = ratio("tembrio " m, best " " m, "ratio " m)
    printf "%s %s | %.2f (%.2f-%.2f) | <= %.2f | %s |\n", line, best, r, lo["ratio " m], hi["ratio " m], target[m], r <= target[m] ? "yes" : "no"
    printf "%s %.2f\n", m, r > "/dev/stderr"
  }
  printf "| right click to popup shown (ms) | %s | - | - | - | - | - | - | < 50 | %s |\n", spread("tembrio popup_ms"), median("tembrio popup_ms") < 50 ? "yes" : "no"
  printf "| \"A Schermo intero\" to full-screen picture (ms) | %s | - | - | - | - | - | - | - | - |\n", spread("tembrio fullscreen_ms")
  r = ratio("tembrio big_list_ms", "tembrio first_frame_ms", "ratio big")
  printf "| first frame with a 300,000-entry list (ms) | %s | - | - | - | - | one entry | %.2f (%.2f-%.2f) | <= 1.20 | %s |\n", spread("tembrio big_list_ms"), r, lo["ratio big"], hi["ratio big"], r <= 1.2 ? "yes" : "no"
  printf "| peak memory with that list (MB) | %s | - | - | - | - | - | - | - | - |\n", spread("tembrio big_list_mb")
  printf "big_list %.2f\n", r > "/dev/stderr"
  r = ratio("tembrio vcd_image_ms", "tembrio vcd_dat_ms", "ratio vcd start")
  printf "| Video CD track from a 2336-byte image: start to first frame (ms) | %s | - | - | - | - | the same .dat, %s | %.2f (%.2f-%.2f) | <= 1.10 | %s |\n", spread("tembrio vcd_image_ms"), median("tembrio vcd_dat_ms"), r, lo["ratio vcd start"], hi["ratio vcd start"], r <= 1.1 ? "yes" : "no"
  r = ratio("tembrio vcd_image_cpu", "tembrio vcd_dat_cpu", "ratio vcd cpu")
  printf "| Video CD track from a 2336-byte image: CPU playing, window (%% of a core) | %s | - | - | - | - | the same .dat, %s | %.2f (%.2f-%.2f) | <= 1.05 | %s |\n", spread("tembrio vcd_image_cpu"), median("tembrio vcd_dat_cpu"), r, lo["ratio vcd cpu"], hi["ratio vcd cpu"], r <= 1.05 ? "yes" : "no"
  printf "\nThe same work (sound decoded and played to a null output), against mpv --vo=x11, sound to null: CPU in the window %.2f, at full screen %.2f.\n", ratio("tembrio cpu_window", "mpv-x11-null cpu_window", "same window"), ratio("tembrio cpu_fullscreen", "mpv-x11-null cpu_fullscreen", "same full")
}' "$out/samples.txt" >"$out/results.md" 2>"$work/ratios"

# A bar per ratio to the best peer, with a line at 1.0.
args=()
y=30
while read -r metric ratio; do
  width=$(awk -v r="$ratio" 'BEGIN { w = r * 200; if (w > 560) w = 560; printf "%d", w }')
  args+=(-fill '#3070c0' -draw "rectangle 220,$y $((220 + width)),$((y + 24))"
         -fill black -draw "text 10,$((y + 17)) '$metric'" -draw "text $((226 + width)),$((y + 17)) '$ratio'")
  y=$((y + 40))
done <"$work/ratios"
convert -size 820x$((y + 20)) xc:white -font DejaVu-Sans -pointsize 14 \
  -fill black -draw "text 10,18 'Tembrio / best peer, median ratios (red: 1.0)'" \
  "${args[@]}" -stroke red -draw "line 420,26 420,$((y - 10))" "$out/ratios.png"

cat "$out/results.md"
echo "written: $out/results.md $out/ratios.png" >&2
