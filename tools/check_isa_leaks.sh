#!/usr/bin/env bash
# Fails when a function compiled with a wider instruction set (AVX-512 VBMI, AVX-512, AVX2)
# is emitted as a weak/COMDAT definition that other objects define too:
# the linker may keep the wide copy and call it on any processor.
set -euo pipefail
objdir=$1
mapfile -t wide < <(find "$objdir" -name '*_avx512vbmi.cpp.o' -o -name '*_avx512.cpp.o' -o -name '*_avx2.cpp.o')
mapfile -t narrow < <(find "$objdir" -name '*.cpp.o' ! -name '*_avx512vbmi.cpp.o' ! -name '*_avx512.cpp.o' ! -name '*_avx2.cpp.o')
((${#wide[@]})) || exit 0
narrow_weak=$( ((${#narrow[@]})) && nm --defined-only "${narrow[@]}" 2>/dev/null | awk '$2 ~ /^[WVu]$/ {print $3}' | sort -u || true)
status=0
for obj in "${wide[@]}"; do
  while read -r sym; do
    [ -n "$sym" ] || continue
    if grep -qxF "$sym" <<<"$narrow_weak"; then
      echo "ISA leak: $(basename "$obj") and a baseline object both define $(c++filt "$sym")"
      status=1
    fi
  done < <(nm --defined-only "$obj" | awk '$2 ~ /^[WVu]$/ {print $3}' | sort -u)
done
exit $status
