#!/usr/bin/env bash
# Lays a translucent logo over real photographs with `morvex composite` in
# every mode ImageMagick also has, and compares each result with
# ImageMagick's `convert BASE LOGO -geometry +X+Y -compose MODE -composite`:
# the largest difference of any channel (0..255) and the PSNR of the colour
# channels, per mode and photograph. For add, where the two formulas differ
# (the library's add limits Cb + Cs to 1 before the layer mix, ImageMagick's
# plus adds the layer's premultiplied colour and limits after), it also
# reports the largest difference over the pixels where Cb + Cs stays within 1.
# Not part of the test command.
#
#   tools/compare_layers_imagemagick.sh [OUTDIR]     (default build/compare-layers)
#
# Needs build/morvex, ImageMagick (/usr/bin/convert), and Debian's python3
# with numpy and Pillow; the photographs are scikit-image's (python3-skimage).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/compare-layers}
photos=/usr/lib/python3/dist-packages/skimage/data
convert=/usr/bin/convert
python=/usr/bin/python3
for need in build/morvex "$convert" "$python" "$photos/astronaut.png"; do
  [ -e "$need" ] || { echo "missing: $need (see the comment at the top)" >&2; exit 1; }
done
mkdir -p "$out"

# The logo: a translucent disc, a nearly opaque square, a faint white
# ellipse over both, all with anti-aliased edges, on transparency; 8 bits
# per sample, so that both tools read the same samples.
logo=$out/logo.png
"$convert" -size 220x140 xc:none \
  -fill 'rgba(255,200,0,0.6)' -draw 'circle 70,70 70,10' \
  -fill 'rgba(0,80,255,0.85)' -draw 'rectangle 110,20 210,120' \
  -fill 'rgba(255,255,255,0.35)' -draw 'ellipse 110,70 100,25 0,360' -depth 8 "$logo"

# morvex mode : ImageMagick operator and arguments
modes=(
  "normal:Over"
  "multiply:Multiply"
  "screen:Screen"
  "overlay:Overlay"
  "average:Mathematics:0,0.5,0.5,0"
  "add:Plus"
)
printf '%-9s %-14s %9s %9s  %s\n' mode photograph "max diff" "PSNR dB" "ImageMagick operator"
for photo in astronaut chelsea coffee; do
  base=$photos/$photo.png
  for entry in "${modes[@]}"; do
    IFS=: read -r mode operator arguments <<<"$entry"
    ours=$out/$photo-$mode-morvex.png
    theirs=$out/$photo-$mode-imagemagick.png
    build/morvex composite "$base" "$logo" "$ours" --mode "$mode" --at 30,25 -y
    define=()
    [ -n "${arguments:-}" ] && define=(-define "compose:args=$arguments")
    "$convert" "$base" "$logo" -geometry +30+25 -compose "$operator" "${define[@]}" -composite \
      -depth 8 "$theirs"
    "$python" - "$ours" "$theirs" "$base" "$logo" "$mode" "$photo" "$operator" <<'EOF'
import sys
import numpy as np
from PIL import Image
ours, theirs, base, logo, mode, photo, operator = sys.argv[1:]
a = np.asarray(Image.open(ours).convert("RGBA")).astype(np.int64)
b = np.asarray(Image.open(theirs).convert("RGBA")).astype(np.int64)
d = np.abs(a - b)
mse = float((d[..., :3] ** 2).mean())
psnr = "inf" if mse == 0 else "%.1f" % (10 * np.log10(255.0 ** 2 / mse))
line = "%-9s %-14s %9d %9s  %s" % (mode, photo, d.max(), psnr, operator)
if mode == "add":
    # Where the straight sum stays within 255 the two formulas agree.
    cb = np.asarray(Image.open(base).convert("RGB")).astype(np.int64)
    cs = np.zeros_like(cb)
    l = np.asarray(Image.open(logo).convert("RGBA")).astype(np.int64)
    h, w = min(l.shape[0], cb.shape[0] - 25), min(l.shape[1], cb.shape[1] - 30)
    cs[25:25 + h, 30:30 + w] = l[:h, :w, :3] * (l[:h, :w, 3:4] > 0)
    within = (cb + cs <= 255).all(axis=2)
    line += "; where Cb + Cs <= 255: max diff %d" % d[within].max()
print(line)
EOF
  done
done
