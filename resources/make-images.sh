#!/bin/sh
# Regenerates the committed images with ImageMagick 6 (`convert`):
#   tembrio.ico   - application icon: 32x32 in 16 colours and in 256 colours
#   dxdiag16.png  - the "Info DirectX" button picture: 16x16, 16 colours
#   icons/tembrio-N.png - the same artwork for the desktop's icon theme
# The build uses the committed files, so ImageMagick is only needed here.
set -eu
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# 256 colours: a film frame with a play triangle, drawn at 4x and scaled down
# so the gradient and the triangle's edge keep their shading. The drawing is
# laid out for 32x32 and scaled by N/32 for the other sizes.
frame() {
  n=$1 m=$(awk "BEGIN { print $1 / 32 }")
  convert -size $((4 * n))x$((4 * n)) xc:none \
    \( -size $((15 * n / 4))x$((3 * n)) gradient:'#8a3410-#2a0d04' \) -geometry +$((n / 8))+$((n / 2)) -composite \
    -fill '#f4e3c0' \
    -draw "affine $m,0,0,$m,0,0 rectangle 12,20 19,27 rectangle 36,20 43,27 rectangle 60,20 67,27 rectangle 84,20 91,27 rectangle 108,20 115,27" \
    -draw "affine $m,0,0,$m,0,0 rectangle 12,100 19,107 rectangle 36,100 43,107 rectangle 60,100 67,107 rectangle 84,100 91,107 rectangle 108,100 115,107" \
    \( -size $((4 * n))x$((4 * n)) xc:none -fill '#ffd23a' -stroke '#d06000' -strokewidth 6 \
       -draw "affine $m,0,0,$m,0,0 polygon 46,38 46,90 92,64" \) -composite \
    -filter box -resize "${n}x$n" "$2"
}
frame 32 "$tmp/frame256.png"

mkdir -p icons
for n in 16 24 48 64 128 256; do
  frame $n "$tmp/art.png"
  convert "$tmp/art.png" -strip -define png:exclude-chunks=date,time "PNG32:icons/tembrio-$n.png"
done
convert "$tmp/frame256.png" -strip -define png:exclude-chunks=date,time PNG32:icons/tembrio-32.png

# 16 colours: the same picture as pixel art in the standard VGA colours.
# Both frames must stay palette images with on/off transparency, otherwise
# the ICO writer falls back to 32-bit pixels.
convert -size 32x32 xc:none +antialias \
  -fill '#800000' -draw 'rectangle 1,4 30,27' \
  -fill '#ffffff' \
  -draw 'rectangle 3,5 4,6 rectangle 9,5 10,6 rectangle 15,5 16,6 rectangle 21,5 22,6 rectangle 27,5 28,6' \
  -draw 'rectangle 3,25 4,26 rectangle 9,25 10,26 rectangle 15,25 16,26 rectangle 21,25 22,26 rectangle 27,25 28,26' \
  -fill '#ffff00' -stroke '#ff0000' -strokewidth 1 -draw 'polygon 11,9 11,22 23,15.5' \
  -colors 16 \
  \( "$tmp/frame256.png" -channel A -threshold 50% +channel +dither -colors 255 \) \
  tembrio.ico

# Button picture: a monitor with a green tick, 4-bit palette PNG.
convert -size 16x16 xc:none +antialias \
  -fill '#808080' -draw 'rectangle 0,1 15,11' \
  -fill '#c0c0c0' -draw 'rectangle 1,2 14,10' \
  -fill '#000080' -draw 'rectangle 2,3 13,9' \
  -fill '#808080' -draw 'rectangle 6,12 9,12' -draw 'rectangle 3,13 12,14' \
  -fill '#00ff00' -draw 'point 4,6 point 5,7 point 6,8 point 7,7 point 8,6 point 9,5 point 10,4 point 11,3' \
  -draw 'point 5,6 point 6,7 point 7,6 point 8,5 point 9,4 point 10,3' \
  -colors 16 -define png:bit-depth=4 -define png:color-type=3 \
  -strip PNG8:dxdiag16.png
