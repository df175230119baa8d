#!/usr/bin/env bash
# The PNG round trip of a 12-megapixel photograph-like image (decode, flip,
# encode): build/morvex against ImageMagick's convert doing the same, timed
# in the same run. Reports the best of several runs of each, their ratio and
# the file sizes. Not part of the test command.
#
#   tools/bench_png_roundtrip.sh [RUNS] [WIDTHxHEIGHT]     (default 5 4000x3000)
#
# Needs build/morvex (ninja -C build morvex) and ImageMagick (apt-get install
# imagemagick). The test image is drawn by tools/synth_photo.c, deterministically.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
size=${2:-4000x3000}
width=${size%x*}
height=${size#*x}

source tools/bench_common.sh

work=build/bench-png
mkdir -p "$work"
photo=$work/photo-${width}x${height}.png
if [ ! -f "$photo" ]; then
  synth_photo "$photo" "$width" "$height"
fi

# Interleave the two tools so that a busy machine slows both alike.
ours="" theirs=""
for ((r = 0; r < runs; r++)); do
  ours=$(min "$ours" "$(micros build/morvex flip "$photo" "$work/morvex.png" -y)")
  theirs=$(min "$theirs" "$(micros "$convert" "$photo" -flip "$work/convert.png")")
done
differing=$("$(dirname "$convert")/compare" -metric AE "$work/morvex.png" "$work/convert.png" null: 2>&1 || true)
[ "$differing" = 0 ] || echo "warning: the two flipped images differ in $differing pixels" >&2
bytes() { stat -c %s "$1"; }
printf 'image:    %s, %dx%d, %d bytes\n' "$photo" "$width" "$height" "$(bytes "$photo")"
awk -v a="$ours" -v b="$theirs" -v n="$runs" -v sa="$(bytes "$work/morvex.png")" \
  -v sb="$(bytes "$work/convert.png")" 'BEGIN {
    printf "morvex:   %.3f s  %d bytes  (flip, default --compression 1)\n", a / 1e6, sa
    printf "convert:  %.3f s  %d bytes  (-flip)\n", b / 1e6, sb
    printf "ratio:    %.3f (morvex time / convert time, best of %d runs each)\n", a / b, n }'
