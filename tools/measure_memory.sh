#!/usr/bin/env bash
# Peak memory (maximum resident set size) of build/morvex and of libvips'
# command-line tool doing comparable operations on one 12-megapixel
# photograph-like image, measured in the same run with /usr/bin/time, and the
# tool's peak on a small PNG that declares a huge image. Not part of the test
# command.
#
#   tools/measure_memory.sh [WIDTHxHEIGHT]     (default 4000x3000)
#
# Needs build/morvex, vips (libvips-tools) and ImageMagick; the image is drawn
# by tools/synth_photo.c, deterministically.
set -euo pipefail
cd "$(dirname "$0")/.."
size=${1:-4000x3000}
width=${size%x*}
height=${size#*x}
for need in build/morvex /usr/bin/time /usr/bin/convert; do
  [ -x "$need" ] || { echo "missing: $need" >&2; exit 1; }
done
command -v vips >/dev/null || { echo "missing: vips (apt-get install libvips-tools)" >&2; exit 1; }

work=build/measure-memory
mkdir -p "$work"
photo=$work/photo-${width}x${height}.png
if [ ! -f "$photo" ]; then
  cc -O2 tools/synth_photo.c -o "$work/synth_photo" -lpng -lm
  "$work/synth_photo" "$photo" "$width" "$height"
fi
jpeg=$work/photo.jpg
deep=$work/photo16.png
logo=$work/logo.png
[ -f "$jpeg" ] || build/morvex flip "$photo" "$jpeg" -y >/dev/null
[ -f "$deep" ] || /usr/bin/convert "$photo" -depth 16 "PNG48:$deep"
[ -f "$logo" ] || /usr/bin/convert -size 400x250 xc:none -fill 'rgba(255,200,0,0.6)' \
  -draw 'circle 120,125 120,20' -fill 'rgba(0,80,255,0.85)' -draw 'rectangle 200,30 390,220' \
  -depth 8 "$logo"
# A PNG of a few hundred kilobytes that declares 10000x12000 pixels (one
# colour, so it deflates to almost nothing).
bomb=$work/bomb.png
[ -f "$bomb" ] || /usr/bin/python3 - "$bomb" <<'EOF'
import struct, sys, zlib
w, h = 10000, 12000
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
z = zlib.compressobj(9)
row = b"\0" + bytes((0x33, 0x66, 0x99)) * w
idat = b"".join(z.compress(row) for _ in range(h)) + z.flush()
with open(sys.argv[1], "wb") as f:
    f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)))
    f.write(chunk(b"IDAT", idat) + chunk(b"IEND", b""))
EOF

peak() { # the maximum resident set size of one run, in MiB
  local kib
  kib=$(/usr/bin/time -f '%M' "$@" 2>&1 >/dev/null | tail -1)
  echo $((kib / 1024))
}

o=$work/out
printf '%-34s %12s %12s\n' "operation on ${width}x${height}" "morvex MiB" "vips MiB"
row() { printf '%-34s %12s %12s\n' "$1" "$2" "$3"; }
row "flip (PNG to PNG)" \
  "$(peak build/morvex flip "$photo" "$o-m.png" -y)" \
  "$(peak vips flip "$photo" "$o-v.png" vertical)"
row "flip (JPEG to JPEG)" \
  "$(peak build/morvex flip "$jpeg" "$o-m.jpg" -y)" \
  "$(peak vips flip "$jpeg" "$o-v.jpg" vertical)"
row "blur sigma 3 (JPEG to JPEG)" \
  "$(peak build/morvex blur "$jpeg" "$o-m.jpg" --sigma 3 -y)" \
  "$(peak vips gaussblur "$jpeg" "$o-v.jpg" 3)"
row "blur sigma 3, float (JPEG)" \
  "$(peak build/morvex blur "$jpeg" "$o-m.jpg" --sigma 3 --precision float -y)" \
  "$(peak vips gaussblur "$jpeg" "$o-v.jpg" 3 --precision float)"
row "blur sigma 3, float (16-bit PNG)" \
  "$(peak build/morvex blur "$deep" "$o-m.png" --sigma 3 --precision float -y)" \
  "$(peak vips gaussblur "$deep" "$o-v.png" 3 --precision float)"
row "composite a logo (JPEG to JPEG)" \
  "$(peak build/morvex composite "$jpeg" "$logo" "$o-m.jpg" --at 30,25 -y)" \
  "$(peak vips composite2 "$jpeg" "$logo" "$o-v.jpg" over --x 30 --y 25)"
row "levels / linear (JPEG to JPEG)" \
  "$(peak build/morvex levels "$jpeg" "$o-m.jpg" --gamma 1.2 -y)" \
  "$(peak vips gamma "$jpeg" "$o-v.jpg" --exponent 1.2)"
echo
printf '%-34s %12s\n' "$(basename "$bomb"): $(stat -c %s "$bomb") bytes, 10000x12000" "morvex MiB"
printf '%-34s %12s\n' "flip" "$(peak build/morvex flip "$bomb" "$o-m.png" -y)"
printf '%-34s %12s\n' "blur --precision float" \
  "$(peak build/morvex blur "$bomb" "$o-m.png" --precision float -y)"
rm -f "$o"-*
