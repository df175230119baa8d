#!/usr/bin/env bash
# A three-step chain on a 12-megapixel JPEG (blur, hsl, a translucent logo
# composited in screen mode), timed in the same run against the same three
# steps as three separate build/morvex runs (through JPEG files, as a user
# would, and through lossless PNG files) and against ImageMagick's one-command
# equivalent. Reports the best of several runs of each, interleaved, and the
# ratios; checks that the chain's file equals the PNG route's byte for byte.
# Not part of the test command.
#
#   tools/bench_chain.sh [RUNS] [WIDTHxHEIGHT]     (default 5 4000x3000)
#
# Needs build/morvex (ninja -C build morvex) and ImageMagick (apt-get install
# imagemagick). The photograph is drawn by tools/synth_photo.c, deterministically.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
size=${2:-4000x3000}
width=${size%x*}
height=${size#*x}

source tools/bench_common.sh
m=build/morvex

work=build/bench-chain
mkdir -p "$work"
photo=$work/photo-${width}x${height}.jpg
if [ ! -f "$photo" ]; then
  synth_photo "$work/photo.png" "$width" "$height"
  "$convert" "$work/photo.png" -quality 90 "$photo"
  rm "$work/photo.png"
fi
logo=$work/logo.png
[ -f "$logo" ] || "$convert" -size 400x250 xc:none -fill 'rgba(255,200,0,0.6)' \
  -draw 'circle 120,125 120,20' -fill 'rgba(0,80,255,0.85)' -draw 'rectangle 200,30 390,220' \
  -depth 8 "$logo"
x=$((width - 440))
y=$((height - 290))
o=$work/out

chain() {
  $m "$photo" "$o-chain.jpg" blur --sigma 2 + hsl --saturation-scale 1.2 + \
    composite "$logo" --mode screen --at "$x,$y" -y
}
separate() { # three runs through files of type $1
  $m blur "$photo" "$o-1.$1" --sigma 2 -y
  $m hsl "$o-1.$1" "$o-2.$1" --saturation-scale 1.2 -y
  $m composite "$o-2.$1" "$logo" "$o-sep-$1.jpg" --mode screen --at "$x,$y" -y
}
separate_jpeg() { separate jpg; }
separate_png() { separate png; }
imagemagick() {
  "$convert" "$photo" -blur 0x2 -modulate 100,120,100 "$logo" -geometry "+$x+$y" \
    -compose screen -composite -quality 90 "$o-im.jpg"
}
# Where the chain's time goes, from three more runs: reading alone (a crop
# to 8x8 pixels written as PNG), reading and writing (a crop that keeps every
# pixel), reading and the three steps (then the 8x8 crop).
read_only() { $m "$photo" "$o-r.png" crop --area 8x8 -y; }
read_write() { $m "$photo" "$o-rw.jpg" crop --area "${width}x$height" -y; }
read_steps() {
  $m "$photo" "$o-rs.png" blur --sigma 2 + hsl --saturation-scale 1.2 + \
    composite "$logo" --mode screen --at "$x,$y" + crop --area 8x8 -y
}

names=(chain separate_jpeg separate_png imagemagick read_only read_write read_steps)
declare -A best
# Interleaved, so that a busy machine slows every command alike.
for ((r = 0; r < runs; r++)); do
  for n in "${names[@]}"; do best[$n]=$(min "${best[$n]:-}" "$(micros "$n")"); done
done

cmp -s "$o-chain.jpg" "$o-sep-png.jpg" || echo "warning: the chain differs from its steps run through PNG files" >&2
printf 'photo:     %s, %dx%d, %d bytes; logo %s at %d,%d\n' "$photo" "$width" "$height" \
  "$(stat -c %s "$photo")" "$logo" "$x" "$y"
printf 'steps:     blur --sigma 2 + hsl --saturation-scale 1.2 + composite --mode screen\n'
printf 'best of %d runs each, on %d cores\n\n' "$runs" "$(nproc)"
row() { awk -v t="${best[$1]}" -v c="${best[chain]}" -v label="$2" \
  'BEGIN { printf "%-44s %7.3f s   chain / this %.2f\n", label, t / 1e6, c / t }'; }
row chain "morvex chain (one run)"
row separate_jpeg "morvex, three runs through JPEG files"
row separate_png "morvex, three runs through PNG files"
row imagemagick "ImageMagick convert, one command"
echo
awk -v r="${best[read_only]}" -v rw="${best[read_write]}" -v rs="${best[read_steps]}" \
  -v c="${best[chain]}" 'BEGIN {
    printf "where the chain'"'"'s time goes (differences of the best times):\n"
    printf "  reading the JPEG                            %7.3f s\n", r / 1e6
    printf "  the three steps                             %7.3f s\n", (rs - r) / 1e6
    printf "  writing the JPEG                            %7.3f s\n", (rw - r) / 1e6 }'
