#!/usr/bin/env bash
# Generates every clip and playlist Tembrio plays, so no binary media is kept
# in the tree.
#
#   media.sh demo OUTDIR   OUTDIR/list.m3u and the clips it names, in OUTDIR/demo/
#   media.sh demo-list FILE DIR   the same list naming the clips in DIR, for an install
#   media.sh test OUTDIR   clips, a Video CD track, disc images, a broken file and playlists
#   media.sh corpus DIR    bad input made from the test set in DIR, into DIR/bad/
#   media.sh check DIR     reads a test set back and says what is wrong with it
#   media.sh vcd-bench DIR the benchmark's Video CD track, as an image and as a .dat
#   media.sh vcd-pair DIR  a two-track Video CD image (.cue/.bin) for the Windows test
#
# Each video clip shows a solid background colour of its own, a label, its
# running time and frame number, and a white bar in the band from 80% to 90%
# of the height whose length grows from 0 to the full width over the clip, so
# that a screenshot tells which clip is playing and how far it has got.
set -euo pipefail

readonly FONT=/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf
readonly FPS=25

# Same input, same bytes: no version strings or dates in the files, and one
# thread because the MPEG encoders cut slices per thread.
readonly EXACT=(-fflags +bitexact -flags:v +bitexact -flags:a +bitexact
                -map_metadata -1 -threads 1)

die() { echo "media.sh: $*" >&2; exit 1; }

ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

# Filter graph with outputs [v] and [a] for a clip of SECONDS seconds.
# COLOUR is RRGGBB; LABEL must not hold ' : or \ (filter graph syntax).
# Audio frames of 1152 samples, the MPEG audio frame size.
clip_graph() {
  local w=$1 h=$2 colour=$3 label=$4 seconds=$5 hz=$6 rate=$7
  # Rows 80% to 90%, widened to even rows so that 4:2:0 chroma keeps the
  # bar's edges sharp.
  local bar_y=$(( h * 8 / 10 & ~1 )) bar_end=$(( ((h * 9 + 9) / 10 + 1) & ~1 ))
  local text="drawtext=fontfile=$FONT:fontcolor=white:x=(w-text_w)/2"
  cat <<EOF
color=c=0x$colour:s=${w}x$h:r=$FPS:d=${seconds}[bg];
color=c=white:s=${w}x$(( bar_end - bar_y )):r=$FPS:d=${seconds}[bar];
[bg][bar]overlay=x='W*t/$seconds-w':y=$bar_y:eval=frame,
$text:fontsize=$(( h / 11 )):y=$(( h * 8 / 100 )):text='$label',
$text:fontsize=$(( h / 7 )):y=$(( h * 28 / 100 )):text='%{pts\\:hms}',
$text:fontsize=$(( h / 11 )):y=$(( h * 52 / 100 )):text='frame %{n}'[v];
sine=f=$hz:r=$rate:d=$seconds:samples_per_frame=1152[a]
EOF
}

# MPEG-1 system stream as a Video CD wants it: 352x288, 25 fps, MP2 audio;
# with "svcd", the MPEG-2 stream of a Super Video CD (480x576).
make_vcd_mpeg() {
  local out=$1 colour=$2 label=$3 seconds=$4 kind=${5:-vcd} size=352x288
  [[ $kind == svcd ]] && size=480x576
  ff -filter_complex "$(clip_graph "${size%x*}" "${size#*x}" "$colour" "$label" "$seconds" 440 44100)" \
     -map '[v]' -map '[a]' -target "pal-$kind" "${EXACT[@]}" "$out"
}

make_avi() {
  local out=$1 colour=$2 label=$3 seconds=$4
  ff -filter_complex "$(clip_graph 320 240 "$colour" "$label" "$seconds" 550 44100)" \
     -map '[v]' -map '[a]' -c:v mpeg4 -q:v 3 -pix_fmt yuv420p \
     -c:a libmp3lame -b:a 96k "${EXACT[@]}" -f avi "$out"
}

# MPEG-2 program stream: "vob", because the "mpeg" muxer writes MPEG-1 systems.
make_mpeg2() {
  local out=$1 colour=$2 label=$3 seconds=$4 w=${5:-320} h=${6:-240}
  ff -filter_complex "$(clip_graph "$w" "$h" "$colour" "$label" "$seconds" 330 48000)" \
     -map '[v]' -map '[a]' -c:v mpeg2video -q:v 3 -pix_fmt yuv420p \
     -c:a mp2 -b:a 128k "${EXACT[@]}" -f vob "$out"
}

# make_tone OUT HZ SECONDS CODEC FORMAT
make_tone() {
  local out=$1 hz=$2 seconds=$3 codec=$4 format=$5
  ff -f lavfi -i "sine=f=$hz:r=44100:d=$seconds" -c:a "$codec" "${EXACT[@]}" \
     -f "$format" "$out"
}

# Four bytes, little-endian.
le32() {
  local n=$1 i byte
  for (( i = 0; i < 4; i++ )); do
    printf -v byte '\\x%02x' $(( n >> 8 * i & 255 ))
    printf %b "$byte"
  done
}

# vcd_image TYPE DIR NAME MPEG...: the disc image DIR/NAME.cue and
# DIR/NAME.bin, one track a file, the .cue naming its .bin as NAME.bin.
vcd_image() {
  local type=$1 dir=$2 name=$3 log=$SCRATCH/vcdimager.log; shift 3
  local mpegs=() mpeg
  for mpeg; do mpegs+=("$(realpath "$mpeg")"); done
  # A fixed date keeps the image the same from run to run.
  if ! (cd "$dir" && vcdimager -q -t "$type" -T '2000-01-01 00:00:00' -c "$name.cue" -b "$name.bin" \
        "${mpegs[@]}") >"$log" 2>&1; then
    cat "$log" >&2
    die "vcdimager failed on $*"
  fi
}

# vcd_kinds DIR MPEG...: one Video CD (no playback control) as every image
# kind users have, in DIR: raw.cue/.bin (2352-byte frames), s2336.cue/.bin,
# disc.nrg, toc/disc.toc with one data file a track and a pregap, CloneCD's
# clone.ccd/.img, and cut.cue, whose cut.bin leaves the pregaps out.
vcd_kinds() {
  local dir=$1 log=$SCRATCH/vcdxbuild.log mpeg mpegs=(); shift
  for mpeg; do mpegs+=("$(realpath "$mpeg")"); done
  mkdir -p "$dir/toc"
  (
    cd "$dir" || exit 1
    vcdxgen -t vcd2 --nopbc -o disc.xml "${mpegs[@]}" &&
    for kind in "--cue-file=raw.cue --bin-file=raw.bin" "--sector-2336 --cue-file=s2336.cue --bin-file=s2336.bin" \
                "--image-type=nrg --nrg-file=disc.nrg"; do
      # shellcheck disable=SC2086
      vcdxbuild -q -T '2000-01-01 00:00:00' $kind disc.xml || exit 1
    done
    # The .toc names its data files as given here: beside it.
    cd toc && vcdxbuild -q -T '2000-01-01 00:00:00' --image-type=cdrdao --cdrdao-file=disc ../disc.xml
  ) >"$log" 2>&1 || { cat "$log" >&2; die "vcdxbuild failed on $*"; }
  # The sheet says where each track's pregap (INDEX 00) and data (INDEX 01) begin.
  local starts
  starts=$(tr -d '\r' <"$dir/raw.cue" | awk '$1 == "INDEX" { split($3, t, ":"); print $2, (t[1] * 60 + t[2]) * 75 + t[3] }')
  cp "$dir/raw.bin" "$dir/clone.img"
  local frames=$(( $(stat -c %s "$dir/raw.bin") / 2352 ))
  {
    printf '[CloneCD]\r\nVersion=3\r\n[Disc]\r\nSessions=1\r\n'
    echo "$starts" | awk -v n=0 '$1 == 0 { printf "[TRACK %d]\r\nMODE=2\r\nINDEX 0=%d\r\n", ++n, $2; pending = 1 }
      $1 == 1 { if (!pending) printf "[TRACK %d]\r\nMODE=2\r\n", ++n; printf "INDEX 1=%d\r\n", $2; pending = 0 }'
  } >"$dir/clone.ccd"
  # cut.bin: raw.bin without the 150 sectors of each pregap, which cut.cue
  # gives back as PREGAP lines.
  : >"$dir/cut.bin"
  {
    echo 'FILE "cut.bin" BINARY'
    echo "$starts" | awk -v frames="$frames" '
      { kind[NR] = $1; at[NR] = $2 } END {
        out = 0; track = 0
        for (i = 1; i <= NR; i++) {
          if (kind[i] == 0) continue
          track++; gap = (i > 1 && kind[i - 1] == 0) ? at[i] - at[i - 1] : 0
          printf "  TRACK %02d MODE2/2352\n", track
          if (gap) printf "    PREGAP %02d:%02d:%02d\n", int(gap / 4500), int(gap / 75) % 60, gap % 75
          printf "    INDEX 01 %02d:%02d:%02d\n", int(out / 4500), int(out / 75) % 60, out % 75
          end = frames; for (j = i + 1; j <= NR; j++) { end = at[j]; break }
          printf "%d %d\n", at[i], end - at[i] > "/dev/stderr"
          out += end - at[i]
        }
      }'
  } >"$dir/cut.cue" 2>"$SCRATCH/cut.txt"
  local from count
  while read -r from count; do
    dd if="$dir/raw.bin" bs=2352 skip="$from" count="$count" status=none >>"$dir/cut.bin"
  done <"$SCRATCH/cut.txt"
}

# A Video CD track as found on the disc (MPEGAV/AVSEQnn.DAT): the raw
# 2352-byte Mode 2 sectors of the MPEG track behind a RIFF/CDXA header.
# vcdimager lays out a disc and the track is cut from its image.
make_cdxa_track() {
  local mpeg=$1 out=$2 disc=$SCRATCH/disc
  rm -rf "$disc" && mkdir "$disc"
  vcd_image vcd2 "$disc" x "$mpeg"
  local msf
  # The cue has CRLF line ends.
  msf=$(tr -d '\r' <"$disc/x.cue" | awk '$1 == "TRACK" { track = $2 }
    track == "02" && $1 == "INDEX" && $2 == "01" && msf == "" { msf = $3 }
    END { print msf }')
  [[ $msf =~ ^([0-9]{2}):([0-9]{2}):([0-9]{2})$ ]] || die "no MPEG track in $disc/x.cue"
  local first=$(( (10#${BASH_REMATCH[1]} * 60 + 10#${BASH_REMATCH[2]}) * 75 + 10#${BASH_REMATCH[3]} ))
  local size
  size=$(( $(stat -c %s "$disc/x.bin") - first * 2352 ))
  (( size > 0 && size % 2352 == 0 )) || die "unexpected image size for $mpeg"
  {
    printf RIFF; le32 $(( size + 36 )); printf 'CDXAfmt '; le32 16
    # CDXA format data: only the "XA" signature at offset 8 is filled in.
    printf '\0\0\0\0\0\0\0\0XA\0\0\0\0\0\0'
    printf data; le32 "$size"
    tail -c "$size" "$disc/x.bin"
  } >"$out"
}

# 64 KiB that no demuxer recognises, the same every time: 4 KiB from a
# fixed-seed LCG, repeated. Not text, which probes as raw AMR audio.
make_garbage() {
  local out=$1 x=1 block='' byte i
  for (( i = 0; i < 4096; i++ )); do
    x=$(( (x * 1103515245 + 12345) & 0x7fffffff ))
    printf -v byte '\\x%02x' $(( x >> 16 & 255 ))
    block+=$byte
  done
  for (( i = 0; i < 16; i++ )); do printf %b "$block"; done >"$out"
}

# write_list FILE ENTRY... : one entry a line, LF.
write_list() {
  local out=$1; shift
  printf '%s\n' "$@" >"$out"
}

make_demo() {
  local dir=$1
  mkdir -p "$dir/demo"
  make_vcd_mpeg "$SCRATCH/1.mpg" F08214 'Tembrio demo 1/3' 12
  make_cdxa_track "$SCRATCH/1.mpg" "$dir/demo/1-videocd.dat"
  make_avi "$dir/demo/2-video.avi" 14968C 'Tembrio demo 2/3' 12
  make_mpeg2 "$dir/demo/3-mpeg.mpg" 8228B4 'Tembrio demo 3/3' 12
  # Last: the build takes this file as the sign that the demo is complete.
  demo_list "$dir/list.m3u" demo
}

# demo_list FILE DIR: the demo list, naming the clips in DIR.
demo_list() {
  write_list "$1" '#EXTM3U' \
    '#EXTINF:12,Traccia Video CD' "$2/1-videocd.dat" \
    '#EXTINF:12,Filmato AVI' "$2/2-video.avi" \
    '#EXTINF:12,Filmato MPEG-2' "$2/3-mpeg.mpg"
}

make_test_set() {
  local dir=$1
  mkdir -p "$dir/sub"
  make_vcd_mpeg "$dir/red.mpg" C81E1E red 10
  make_cdxa_track "$dir/red.mpg" "$dir/red.dat"
  make_avi "$dir/green.avi" 1EAA1E green 10
  make_mpeg2 "$dir/blue.mpg" 1E1EC8 blue 10
  # SD size: the engine takes its primaries for SD ones.
  make_mpeg2 "$dir/green640.mpg" 1EA91D 'green 640' 3 640 480
  make_tone "$dir/tone.mp3" 440 5 libmp3lame mp3
  make_tone "$dir/tone.wav" 660 5 pcm_s16le wav
  make_garbage "$dir/broken.avi"
  cp "$dir/green.avi" "$dir/caffè.avi"
  # Disc images: a Video CD of three tracks, each its own colour and length,
  # and a Super Video CD of one.
  mkdir -p "$dir/videocd"
  make_vcd_mpeg "$dir/videocd/1.mpg" D22828 'traccia 1' 2
  make_vcd_mpeg "$dir/videocd/2.mpg" 28B428 'traccia 2' 3
  make_vcd_mpeg "$dir/videocd/3.mpg" 2832D2 'traccia 3' 4
  vcd_image vcd2 "$dir/videocd" videocd "$dir"/videocd/{1,2,3}.mpg
  make_vcd_mpeg "$dir/videocd/svcd-1.mpg" D2A028 'SVCD 1' 2 svcd
  vcd_image svcd "$dir/videocd" svcd "$dir/videocd/svcd-1.mpg"
  vcd_kinds "$dir/videocd/kinds" "$dir"/videocd/{1,2,3}.mpg
  make_vcd_pbc "$dir"

  write_list "$dir/all.m3u" red.dat green.avi blue.mpg
  printf '\xef\xbb\xbf#EXTM3U\r\n#EXTINF:10,Verde\r\ngreen.avi\r\n#EXTINF:10,Blu\r\nblue.mpg\r\n' \
    >"$dir/ext.m3u"
  write_list "$dir/sub/back.m3u" '..\blue.mpg' '..\green.avi'
  # "è" as the single Windows-1252 byte, not UTF-8.
  printf 'caff\xe8.avi\nblue.mpg\n' >"$dir/cp1252.m3u"
  write_list "$dir/missing.m3u" nope.avi green.avi
  # Port 9 (discard) refuses at once, so the failure is quick.
  write_list "$dir/url.m3u" http://127.0.0.1:9/x.mpg blue.mpg
  write_list "$dir/audio.m3u" tone.mp3 tone.wav
}

# --- Video CDs with playback control, authored with vcdxbuild ----------------

# A one-picture MPEG on video stream 0xE1, which the authoring tools take for
# a still picture (0xE0 is motion video); "svcd" for a Super Video CD's.
make_vcd_still() {
  local out=$1 colour=$2 label=$3 kind=${4:-vcd} size=352x288
  [[ $kind == svcd ]] && size=480x576
  ff -f lavfi -i "color=c=0x$colour:s=$size:r=$FPS:d=1,drawtext=fontfile=$FONT:fontcolor=white:fontsize=$(( ${size#*x} / 10 )):x=(w-text_w)/2:y=(h-text_h)/2:text='$label'" \
     -frames:v 1 -an -target "pal-$kind" "${EXACT[@]}" "$SCRATCH/still.mpg"
  perl -0777 -pe 's/\x00\x00\x01\xe0/\x00\x00\x01\xe1/g' "$SCRATCH/still.mpg" >"$out"
}

# vcdx_image DIR NAME: DIR/NAME.xml built into DIR/NAME.cue and .bin.
vcdx_image() {
  local dir=$1 name=$2 log=$SCRATCH/vcdxbuild.log
  if ! (cd "$dir" && vcdxbuild -q -T '2000-01-01 00:00:00' -c "$name.cue" -b "$name.bin" "$name.xml") >"$log" 2>&1; then
    cat "$log" >&2
    die "vcdxbuild failed on $dir/$name.xml"
  fi
}

# menu: a Video CD 2.0 whose list 1 is a still menu of three choices (two
# play lists and the end list) with a default, a 10 s timeout, a return and
# two loops; play lists with waits, an auto-wait and a still between tracks;
# track 1 with a second entry point at 1 s. The choices carry areas, so the
# disc also has the extended PSD_X, with that list as 0x1a. svcd: a Super
# Video CD whose menu is a still held for ever, with one choice (areas on
# such a list are flagged, not typed 0x1a), and an end list.
make_vcd_pbc() {
  local dir=$1/videocd-pbc
  mkdir -p "$dir"
  make_vcd_mpeg "$dir/1.mpg" B43C28 'menu - traccia 1' 8
  make_vcd_mpeg "$dir/2.mpg" 3C28B4 'menu - traccia 2' 2
  make_vcd_still "$dir/menu.mpg" 283C50 'MENU 1 2 3'
  make_vcd_still "$dir/pausa.mpg" 50503C 'PAUSA'
  local head='<?xml version="1.0"?>
<!DOCTYPE videocd PUBLIC "-//GNU//DTD VideoCD//EN" "http://www.gnu.org/software/vcdimager/videocd.dtd">'
  cat >"$dir/menu.xml" <<EOF
$head
<videocd xmlns="http://www.gnu.org/software/vcdimager/1.0/" class="vcd" version="2.0">
  <info><album-id>MENU</album-id><volume-count>1</volume-count><volume-number>1</volume-number></info>
  <pvd><volume-id>MENU</volume-id><system-id>CD-RTOS CD-BRIDGE</system-id></pvd>
  <segment-items>
    <segment-item src="menu.mpg" id="menu-still"/>
    <segment-item src="pausa.mpg" id="pause-still"/>
  </segment-items>
  <sequence-items>
    <sequence-item src="1.mpg" id="track-1"><default-entry id="track-1-a"/><entry id="track-1-b">4.0</entry></sequence-item>
    <sequence-item src="2.mpg" id="track-2"/>
  </sequence-items>
  <pbc>
    <selection id="menu">
      <bsn>1</bsn>
      <next ref="play-1"/>
      <return ref="menu"/>
      <default ref="play-2"/>
      <timeout ref="play-1"/>
      <wait>10</wait>
      <loop jump-timing="immediate">2</loop>
      <play-item ref="menu-still"/>
      <select ref="play-1" x1="0" y1="0" x2="84" y2="255"/>
      <select ref="play-2" x1="85" y1="0" x2="170" y2="255"/>
      <select ref="end" x1="171" y1="0" x2="255" y2="255"/>
    </selection>
    <playlist id="play-1">
      <prev ref="menu"/>
      <next ref="play-2"/>
      <return ref="menu"/>
      <wait>2</wait>
      <autowait>1</autowait>
      <play-item ref="track-1"/>
      <play-item ref="pause-still"/>
    </playlist>
    <playlist id="play-2">
      <prev ref="play-1"/>
      <next ref="end"/>
      <return ref="menu"/>
      <wait>3</wait>
      <play-item ref="track-1-b"/>
      <play-item ref="track-2"/>
    </playlist>
    <endlist id="end"/>
  </pbc>
</videocd>
EOF
  vcdx_image "$dir" menu
  make_vcd_mpeg "$dir/svcd-1.mpg" 28A0B4 'SVCD menu - traccia 1' 2 svcd
  make_vcd_still "$dir/svcd-menu.mpg" 503C28 'SVCD MENU 1' svcd
  cat >"$dir/svcd.xml" <<EOF
$head
<videocd xmlns="http://www.gnu.org/software/vcdimager/1.0/" class="svcd" version="1.0">
  <info><album-id>SVCDMENU</album-id><volume-count>1</volume-count><volume-number>1</volume-number></info>
  <pvd><volume-id>SVCDMENU</volume-id><system-id>CD-RTOS CD-BRIDGE</system-id></pvd>
  <segment-items><segment-item src="svcd-menu.mpg" id="menu-still"/></segment-items>
  <sequence-items><sequence-item src="svcd-1.mpg" id="track-1"/></sequence-items>
  <pbc>
    <selection id="menu">
      <bsn>1</bsn>
      <default ref="play-1"/>
      <wait>-1</wait>
      <play-item ref="menu-still"/>
      <select ref="play-1"/>
    </selection>
    <playlist id="play-1">
      <next ref="end"/>
      <return ref="menu"/>
      <play-item ref="track-1"/>
    </playlist>
    <endlist id="end"/>
  </pbc>
</videocd>
EOF
  vcdx_image "$dir" svcd
}

# What the navigation tests read from these discs, as vcd-info dumps it.
check_vcd_pbc() {
  local dir=$1/videocd-pbc dump want
  dump=$(vcd-info -i "$dir/menu.cue" -B --no-header 2>&1) || true
  for want in 'extended pbc: yes' 'video: PAL still' 'entries: 3' 'ENTRY\[01\]: track#  1' \
              'LID\[1\] @0x0000\): selection list descriptor' 'NOS: 3 \| BSN: 1' 'wait: 10 secs \| loop: 2' \
              'play list descriptor' 'wait: 2s \| autowait: 1s' 'end list descriptor' \
              'extended selection list descriptor' 'area\[2\]: \[171,  0\] - \[255,255\]'; do
    grep -Eq "$want" <<<"$dump" || fail "$dir/menu.cue: vcd-info shows no '$want'"
  done
  dump=$(vcd-info -i "$dir/svcd.cue" -B --no-header 2>&1) || true
  for want in 'ID: `SUPERVCD' 'video: PAL still' 'selection list descriptor' 'wait: -1 secs' 'end list descriptor'; do
    grep -Eq "$want" <<<"$dump" || fail "$dir/svcd.cue: vcd-info shows no '$want'"
  done
}

# --- corpus: damaged files and hostile playlists, cut from the test set ------

# put_bytes FILE OFFSET HEX...: overwrites bytes in place.
put_bytes() {
  local file=$1 offset=$2 hex; shift 2
  printf -v hex '\\x%s' "$@"
  printf %b "$hex" | dd of="$file" bs=1 seek="$offset" conv=notrunc status=none
}

# flip_bytes FILE OFFSET...: inverts the byte at each offset.
flip_bytes() {
  local file=$1 offset byte; shift
  for offset in "$@"; do
    byte=$(od -An -tu1 -j "$offset" -N 1 "$file" | tr -d ' ')
    [[ -n $byte ]] && put_bytes "$file" "$offset" "$(printf %02x $(( byte ^ 0xff )))"
  done
}

# First offset of a byte pattern (grep -P syntax) in FILE.
offset_of() { grep -obUaP "$2" "$1" | head -n 1 | cut -d: -f1; }

make_corpus() {
  local dir=$1 bad=$1/bad name base ext cut size n offsets
  mkdir -p "$bad/x.avi"   # a folder that looks like a clip
  for name in red.dat green.avi blue.mpg tone.mp3 tone.wav; do
    base=${name%.*} ext=${name##*.}
    size=$(stat -c %s "$dir/$name")
    : >"$bad/empty-$base.$ext"
    # Inside the first header, just past it, and halfway.
    for cut in 1 40 600 4096 $(( size / 2 )); do
      head -c "$cut" "$dir/$name" >"$bad/cut$cut-$base.$ext"
    done
    cp "$dir/$name" "$bad/head-$base.$ext"
    flip_bytes "$bad/head-$base.$ext" 0 3 8 12 20 30 36 44 52 64 100 200
    cp "$dir/$name" "$bad/body-$base.$ext"
    offsets=()
    for (( n = size / 4; n < size * 3 / 4; n += 9973 )); do offsets+=("$n"); done
    flip_bytes "$bad/body-$base.$ext" "${offsets[@]}"
  done
  printf 'Questo non è un filmato.\nSolo testo.\n' >"$bad/testo.mpg"
  # A Video CD track whose RIFF and data sizes claim almost 4 GiB.
  cp "$dir/red.dat" "$bad/riff-bugiardo.dat"
  put_bytes "$bad/riff-bugiardo.dat" 4 f0 ff ff ff
  put_bytes "$bad/riff-bugiardo.dat" 40 c4 ff ff ff
  make_garbage "$bad/rumore.mp3"
  # A million pixels a side in the AVI's main and stream headers.
  cp "$dir/green.avi" "$bad/enorme.avi"
  n=$(offset_of "$dir/green.avi" 'avih')
  put_bytes "$bad/enorme.avi" $(( n + 40 )) 40 42 0f 00 40 42 0f 00
  n=$(offset_of "$dir/green.avi" 'strf')
  put_bytes "$bad/enorme.avi" $(( n + 12 )) 40 42 0f 00 40 42 0f 00
  # 4095x4095 in the MPEG sequence header, the most it can say.
  cp "$dir/blue.mpg" "$bad/enorme.mpg"
  n=$(offset_of "$dir/blue.mpg" '\x00\x00\x01\xb3')
  put_bytes "$bad/enorme.mpg" $(( n + 4 )) ff ff ff

  # Playlists.
  write_list "$bad/se-stessa.m3u" se-stessa.m3u ../blue.mpg
  write_list "$bad/ping.m3u" pong.m3u ../red.mpg
  write_list "$bad/pong.m3u" ping.m3u ../green.avi
  write_list "$bad/mancanti.m3u" nulla.avi 'niente.mpg' x.avi ..
  local entries=() long
  for (( n = 0; n < 2000; n++ )); do
    entries+=(../red.dat ../green.avi ../blue.mpg ../tone.mp3 ../tone.wav)
  done
  write_list "$bad/diecimila.m3u" "${entries[@]}"
  printf -v long '%*s' 100000 ''
  write_list "$bad/righe-lunghe.m3u" "${long// /a}.mpg" "${long// /a\/}x.avi" ../green.avi
  printf '../blue.mpg\0x.avi\n../gr\0een.avi\n\0\n../red.mpg\n' >"$bad/nul.m3u"
  write_list "$bad/windows.m3u" 'C:\Video\a.mpg' 'd:/film.avi' 'E:clip.mpg' \
    '\\server\video\b.mpg' '..\green.avi'
  write_list "$bad/indirizzi.m3u" rtsp://127.0.0.1:9/s smb://127.0.0.1/x/a.avi \
    ftp://127.0.0.1:9/a.mpg udp://127.0.0.1:9 dvd:// dvd://1 cdda:// bd:// \
    av://lavfi:testsrc lavf://../blue.mpg memory://abc hex://00 fd://0 \
    'edl://../blue.mpg,0,1' mf://../x.avi null:// x://y file://127.0.0.1/etc/passwd \
    ../red.mpg
  # UTF-16 with a BOM, as Windows' Notepad writes "Unicode".
  printf '\xff\xfe.\0.\0/\0b\0l\0u\0e\0.\0m\0p\0g\0\r\0\n\0' >"$bad/utf16.m3u"
  # A clip with a list's name.
  cp "$dir/tone.mp3" "$bad/audio.m3u"
  # Failures one after the other, each to be named right, then a good clip.
  write_list "$bad/rotti.m3u" cut1-blue.mpg testo.mpg empty-red.dat rumore.mp3 ../blue.mpg
  # A list with a clip's name, which the engine would read as a list itself.
  write_list "$bad/lista.mpg" '#EXTM3U' lista.mpg ../green.avi
}

# --- check: what the tests rely on, read back from the files -----------------

FAILED=0
fail() { echo "media.sh check: $*" >&2; FAILED=1; }

probe() { ffprobe -v error -show_entries "$2" -of csv=p=0 "$1" 2>/dev/null | head -n 1 || true; }

# check_near FILE WHAT "R G B" "R G B": encoding may move a colour a little.
check_near() {
  local file=$1 what=$2 got want i
  read -ra got <<<"$3"
  read -ra want <<<"$4"
  for i in 0 1 2; do
    if (( ${got[i]:-999} - want[i] > 12 || want[i] - ${got[i]:-999} > 12 )); then
      fail "$file: $what is (${got[*]}), expected about (${want[*]})"; return
    fi
  done
}

# rgb_at FRAME W X Y: "R G B" of a pixel in a raw rgb24 frame W pixels wide.
rgb_at() { od -An -tu1 -j $(( ($4 * $2 + $3) * 3 )) -N 3 "$1"; }

# check_clip FILE "CODEC,W,H" RRGGBB SECONDS
# At a quarter and at three quarters of the clip: the background colour, and
# the bar in its band ending where the time says.
check_clip() {
  local file=$1 stream=$2 colour=$3 seconds=$4 w h
  [[ $(probe "$file" stream=codec_name,width,height) == "$stream"* ]] \
    || { fail "$file: video is not $stream"; return; }
  [[ $(ffprobe -v error -select_streams a -show_entries stream=codec_type -of csv=p=0 "$file") \
     == audio* ]] || fail "$file: no audio"
  IFS=, read -r _ w h <<<"$stream"
  local bg="$(( 16#${colour:0:2} )) $(( 16#${colour:2:2} )) $(( 16#${colour:4:2} ))"
  local frames=$(( seconds * FPS )) top=$(( h * 81 / 100 )) bottom=$(( h * 89 / 100 ))
  local frame=$SCRATCH/frame.rgb
  local n end sample what x y want
  for n in $(( frames / 4 )) $(( frames * 3 / 4 )); do
    rm -f "$frame"
    ff -i "$file" -vf "select=eq(n\\,$n)" -frames:v 1 -pix_fmt rgb24 -f rawvideo "$frame" \
      || true
    [[ -s $frame ]] || { fail "$file: no frame $n"; return; }
    end=$(( w * n / frames ))
    for sample in "background|8|8|$bg" \
                  "bar|$(( end - 6 ))|$top|255 255 255" \
                  "bar|$(( end - 6 ))|$bottom|255 255 255" \
                  "band after the bar|$(( end + 6 ))|$top|$bg" \
                  "band after the bar|$(( end + 6 ))|$bottom|$bg" \
                  "above the band|4|$(( h * 78 / 100 ))|$bg" \
                  "below the band|4|$(( h * 92 / 100 ))|$bg"; do
      IFS='|' read -r what x y want <<<"$sample"
      check_near "$file" "frame $n: $what at $x,$y" "$(rgb_at "$frame" "$w" "$x" "$y")" "$want"
    done
  done
}

# A player finds a ".dat" by its RIFF header, then plays the sectors after it.
check_cdxa() {
  local file=$1 size
  [[ -f $file ]] || { fail "$file: missing"; return; }
  size=$(stat -c %s "$file")
  [[ $(dd if="$file" bs=1 count=4 status=none) == RIFF \
     && $(dd if="$file" bs=1 skip=8 count=8 status=none) == 'CDXAfmt ' \
     && $(dd if="$file" bs=1 skip=36 count=4 status=none) == data ]] \
    || fail "$file: not a RIFF/CDXA header"
  local riff data
  riff=$(( $(od -An -tu4 -j 4 -N 4 "$file") ))
  data=$(( $(od -An -tu4 -j 40 -N 4 "$file") ))
  (( riff == size - 8 )) || fail "$file: RIFF size $riff, file is $size bytes"
  (( data == size - 44 && data % 2352 == 0 )) || fail "$file: data size $data is not whole sectors"
}

check_tone() {
  local file=$1 codec=$2 duration
  [[ $(probe "$file" stream=codec_name) == "$codec" ]] || fail "$file: not $codec"
  duration=$(probe "$file" format=duration)
  [[ $duration == 5.* || $duration == 4.9* ]] || fail "$file: lasts $duration s, not 5"
}

check_test_set() {
  local dir=$1
  check_clip "$dir/red.mpg" mpeg1video,352,288 C81E1E 10
  check_clip "$dir/red.dat" mpeg1video,352,288 C81E1E 10
  check_cdxa "$dir/red.dat"
  check_clip "$dir/green.avi" mpeg4,320,240 1EAA1E 10
  check_clip "$dir/blue.mpg" mpeg2video,320,240 1E1EC8 10
  check_clip "$dir/green640.mpg" mpeg2video,640,480 1EA91D 3
  check_tone "$dir/tone.mp3" mp3
  check_tone "$dir/tone.wav" pcm_s16le
  if [[ ! -s $dir/broken.avi ]] || ffprobe -v quiet "$dir/broken.avi"; then
    fail "$dir/broken.avi: missing, or readable as media"
  fi
  cmp -s "$dir/green.avi" "$dir/caffè.avi" || fail "$dir/caffè.avi: not a copy of green.avi"
  local image tracks
  for image in videocd:4 svcd:2; do
    tracks=$(grep -c '^ *TRACK [0-9]* MODE2/2352' "$dir/videocd/${image%:*}.cue" 2>/dev/null) || true
    (( tracks == ${image#*:} )) && [[ -s $dir/videocd/${image%:*}.bin ]] \
      || fail "$dir/videocd/${image%:*}.cue: $tracks tracks, expected ${image#*:} (with the file system's)"
  done
  local kind
  for kind in raw.cue raw.bin s2336.cue s2336.bin disc.nrg toc/disc.toc toc/disc_04.img clone.ccd clone.img cut.cue cut.bin; do
    [[ -s $dir/videocd/kinds/$kind ]] || fail "$dir/videocd/kinds/$kind: missing"
  done
  grep -q '^ *TRACK 04 MODE2/2336' "$dir/videocd/kinds/s2336.cue" || fail "$dir/videocd/kinds/s2336.cue: not in 2336-byte frames"
  check_vcd_pbc "$dir"
  local list
  for list in all ext sub/back cp1252 missing url audio; do
    [[ -s $dir/$list.m3u ]] || fail "$dir/$list.m3u: missing"
  done
  return "$FAILED"
}

# The benchmark's Video CD: one 30 s track, as a disc image (videocd.cue and
# .bin) and as the same track's RIFF/CDXA .dat.
make_vcd_bench() {
  mkdir -p "$1"
  make_vcd_mpeg "$SCRATCH/track.mpg" 1EA91D 'Video CD' 30
  vcd_kinds "$1" "$SCRATCH/track.mpg"
  make_cdxa_track "$SCRATCH/track.mpg" "$1/track.dat"
}

# make_vcd_pair DIR: DIR/pair.cue and .bin, a Video CD of two tracks, red
# and then blue, for the Windows test.
make_vcd_pair() {
  mkdir -p "$1"
  make_vcd_mpeg "$SCRATCH/red.mpg" C81E1E 'traccia 1' 4
  make_vcd_mpeg "$SCRATCH/blue.mpg" 1E3CC8 'traccia 2' 4
  vcd_image vcd2 "$1" pair "$SCRATCH/red.mpg" "$SCRATCH/blue.mpg"
}

main() {
  (( $# == 2 )) || [[ $1 == demo-list && $# == 3 ]] \
    || die "usage: media.sh demo|test|corpus|check|vcd-bench|vcd-pair DIR, or media.sh demo-list FILE DIR"
  # Byte-wise text handling: the garbage length and the names are in bytes.
  export LC_ALL=C
  SCRATCH=$(mktemp -d)
  trap 'rm -rf "$SCRATCH"' EXIT
  case $1 in
    demo) make_demo "$2" ;;
    demo-list) demo_list "$2" "$3" ;;
    test) make_test_set "$2" ;;
    corpus) make_corpus "$2" ;;
    check) check_test_set "$2" ;;
    vcd-bench) make_vcd_bench "$2" ;;
    vcd-pair) make_vcd_pair "$2" ;;
    *) die "unknown command '$1' (demo, demo-list, test, corpus, check, vcd-bench or vcd-pair)" ;;
  esac
}

main "$@"
