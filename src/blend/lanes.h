// Fixed-point steps shared by the blending kernels, written once over the
// operations of simd_sse2.h / simd_avx2.h (template parameter I).
#pragma once

#include <cstdint>

#include "frame/plane.h"

// Scalar per-pixel definitions are forced inline: they are compiled into
// kernels built for different instruction sets, and an out-of-line copy could
// be merged across those at link time.
#define MORVEX_PIXEL_INLINE __attribute__((always_inline)) inline

namespace morvex::blend {

// Quotient of a / 255 truncated, for 0 <= a <= 65535 in unsigned 16-bit
// lanes: (a * 0x8081) >> 23, which is exact for a up to 66298.
template <class I>
MORVEX_PIXEL_INLINE typename I::V Div255(typename I::V a) {
  return I::template Srli16<7>(I::MulhiU16(a, I::Set16(0x8081)));
}

// (s * w + d * (255 - w)) / 255 per channel of 16 bytes (32 on AVX2), with
// s, d, w bytes; every sum stays within 0..65025.
template <class I>
MORVEX_PIXEL_INLINE typename I::V MixBytes(typename I::V s, typename I::V d, typename I::V w) {
  using V = typename I::V;
  const V zero = I::Zero(), full = I::Set16(255);
  auto half = [&](V s16, V d16, V w16) {
    const V sum = I::Add16(I::Mullo16(s16, w16), I::Mullo16(d16, I::Sub16(full, w16)));
    return Div255<I>(sum);
  };
  const V lo = half(I::UnpackLo8(s, zero), I::UnpackLo8(d, zero), I::UnpackLo8(w, zero));
  const V hi = half(I::UnpackHi8(s, zero), I::UnpackHi8(d, zero), I::UnpackHi8(w, zero));
  return I::PackUS16(lo, hi);
}

// Walks the pixels of one row: `group(offset)` for each whole vector's worth
// of pixels, then `pixel(offset)` for the rest. Offsets are in pixels from
// the row start and never overflow (width - width % n is the last group end).
template <int kPixelsPerGroup, class Group, class Pixel>
MORVEX_PIXEL_INLINE void WalkRow(std::int32_t width, Group&& group, Pixel&& pixel) {
  const std::int32_t groupEnd = width - width % kPixelsPerGroup;
  std::int32_t x = 0;
  for (; x < groupEnd; x += kPixelsPerGroup) group(static_cast<std::ptrdiff_t>(x));
  for (; x < width; ++x) pixel(static_cast<std::ptrdiff_t>(x));
}

}  // namespace morvex::blend
