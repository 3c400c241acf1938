#!/bin/sh
# Draws the application icon, a ventilated brake disc with a red calliper,
# and writes res/tweaker.ico with 256, 48, 32 and 16 pixel images. Needs
# ImageMagick; the .ico is committed, so builds do not run this.
set -eu
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# circles RADIUS SIZE ANGLE...: small circles of SIZE on a ring round the middle.
circles() {
  radius=$1 size=$2
  shift 2
  for angle in "$@"; do
    awk -v a="$angle" -v r="$radius" -v s="$size" 'BEGIN {
      t = a * 3.14159265 / 180; x = 128 + r * cos(t); y = 128 + r * sin(t)
      printf " circle %.1f,%.1f %.1f,%.1f", x, y, x + s, y }'
  done
}

# The calliper: a ring sector between radii 78 and 124, from -100 to -10 degrees.
calliper=$(awk 'BEGIN {
  k = 3.14159265 / 180; a = -100 * k; b = -10 * k; o = 124; i = 78
  printf "M %.1f,%.1f A %d,%d 0 0,1 %.1f,%.1f L %.1f,%.1f A %d,%d 0 0,0 %.1f,%.1f Z",
    128 + o * cos(a), 128 + o * sin(a), o, o, 128 + o * cos(b), 128 + o * sin(b),
    128 + i * cos(b), 128 + i * sin(b), i, i, 128 + i * cos(a), 128 + i * sin(a) }')

# draw DETAIL OUTPUT: the disc at 256x256; DETAIL 0 leaves out the small holes.
draw() {
  holes=""
  [ "$1" = 1 ] && holes=$(circles 90 8 15 45 75 105 135 165 195 225 255 285 315 345)
  convert -size 256x256 xc:none \
    -fill '#a4abb3' -stroke '#30363c' -strokewidth 10 -draw 'circle 128,128 128,8' \
    -fill none -stroke '#d0d4d9' -strokewidth 8 -draw 'circle 128,128 128,28' \
    -fill '#30363c' -stroke none -draw "fill #30363c $holes" \
    -fill '#737a82' -stroke '#30363c' -strokewidth 8 -draw 'circle 128,128 128,66' \
    -fill '#262a2f' -stroke none -draw "$(circles 34 9 -90 -18 54 126 198)" \
    -fill '#262a2f' -draw 'circle 128,128 128,112' \
    -fill '#d8281c' -stroke '#4a0d08' -strokewidth 10 -draw "path '$calliper'" \
    "$2"
}

draw 1 "$work/detailed.png"
draw 0 "$work/plain.png"
convert "$work/detailed.png" -filter Lanczos -resize 48x48 "$work/48.png"
convert "$work/detailed.png" -filter Lanczos -resize 32x32 "$work/32.png"
convert "$work/plain.png" -filter Lanczos -resize 16x16 "$work/16.png"
# The 256 pixel image goes in as PNG, as ImageMagick stores that size: with 8
# bits a channel, as Windows reads PNG icons, and without time stamps, so that
# every run writes the same bytes.
convert \( "$work/detailed.png" -depth 8 \) "$work/48.png" "$work/32.png" "$work/16.png" \
  -define png:exclude-chunks=date,time tweaker.ico
