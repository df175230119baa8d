#!/usr/bin/env bash
# Fails when a function compiled for one instruction-set level (AVX2, AVX-512,
# AVX-512 VBMI) is emitted as a weak/COMDAT definition that an object of any
# narrower level (the baseline included) defines too: the linker may keep the
# wider copy and call it on a processor that has only the narrower level.
#
# Usage: tools/check_isa_leaks.sh OBJECT_DIR
set -euo pipefail
objdir=$1

# The levels, narrowest first, by the suffix of their source files; the
# baseline is every other object.
levels=(baseline avx2 avx512 avx512vbmi)
level_of() {
  case "$1" in
    *_avx512vbmi.cpp.o) echo 3 ;;
    *_avx512.cpp.o) echo 2 ;;
    *_avx2.cpp.o) echo 1 ;;
    *) echo 0 ;;
  esac
}

# One line per weak definition: level, symbol, object.
table=$(mktemp)
trap 'rm -f "$table"' EXIT
while IFS= read -r -d '' obj; do
  level=$(level_of "$obj")
  nm --defined-only "$obj" 2>/dev/null |
    awk -v level="$level" -v obj="$obj" '$2 ~ /^[WVu]$/ {print level, $3, obj}'
done < <(find "$objdir" -name '*.cpp.o' -print0) | sort -u >"$table"

# A symbol defined at two levels leaks from the wider one into the narrower.
status=0
while read -r sym; do
  mapfile -t rows < <(awk -v s="$sym" '$2 == s {print $1, $3}' "$table" | sort -n)
  narrowest=${rows[0]%% *}
  for row in "${rows[@]}"; do
    level=${row%% *} obj=${row#* }
    if ((level > narrowest)); then
      narrow_obj=${rows[0]#* }
      echo "ISA leak: $(basename "$obj") (${levels[level]}) and $(basename "$narrow_obj")" \
        "(${levels[narrowest]}) both define $(c++filt "$sym")"
      status=1
    fi
  done
done < <(awk '{print $1, $2}' "$table" | sort -u | awk '{n[$2]++} END {for (s in n) if (n[s] > 1) print s}')
exit $status
