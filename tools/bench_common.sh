# Shared by the timing scripts (sourced from the checkout's top): ImageMagick's
# convert in $convert, a check for build/morvex, and the timing helpers.
convert=/usr/bin/convert
[ -x "$convert" ] || convert=$(command -v convert || true)
if [ -z "$convert" ] || ! "$convert" -version 2>/dev/null | grep -q ImageMagick; then
  echo "ImageMagick's convert is needed: apt-get install imagemagick" >&2
  exit 1
fi
[ -x build/morvex ] || { echo "build/morvex is missing: ninja -C build morvex" >&2; exit 1; }

micros() { # wall time of one run of the command, in microseconds
  local t0 t1
  t0=$(date +%s%N)
  "$@" >/dev/null
  t1=$(date +%s%N)
  echo $(((t1 - t0) / 1000))
}
min() { if [ -z "$1" ] || (($2 < $1)); then echo "$2"; else echo "$1"; fi; }
# synth_photo OUT.png WIDTH HEIGHT: the photograph-like test image drawn by
# tools/synth_photo.c (deterministic), its drawer built beside OUT.png.
synth_photo() {
  local drawer
  drawer=$(dirname "$1")/synth_photo
  [ -x "$drawer" ] || cc -O2 tools/synth_photo.c -o "$drawer" -lpng -lm
  "$drawer" "$1" "$2" "$3"
}
