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

// Even and odd bytes of a vector as 16-bit words (AND and shift, no
// shuffles), and the two recombined; every word must hold a byte value.
template <class I>
MORVEX_PIXEL_INLINE typename I::V EvenBytes(typename I::V v) {
  return I::And(v, I::Set16(0xFF));
}
template <class I>
MORVEX_PIXEL_INLINE typename I::V OddBytes(typename I::V v) {
  return I::template Srli16<8>(v);
}
template <class I>
MORVEX_PIXEL_INLINE typename I::V JoinBytes(typename I::V even, typename I::V odd) {
  return I::Or(even, I::template Slli16<8>(odd));
}

// (s * w + d * (255 - w)) / 255 per byte of s, d, w; every sum stays within
// 0..65025.
template <class I>
MORVEX_PIXEL_INLINE typename I::V MixBytes(typename I::V s, typename I::V d, typename I::V w) {
  using V = typename I::V;
  const V full = I::Set16(255);
  const auto mix = [&](V s16, V d16, V w16) {
    return Div255<I>(I::Add16(I::Mullo16(s16, w16), I::Mullo16(d16, I::Sub16(full, w16))));
  };
  return JoinBytes<I>(mix(EvenBytes<I>(s), EvenBytes<I>(d), EvenBytes<I>(w)),
                      mix(OddBytes<I>(s), OddBytes<I>(d), OddBytes<I>(w)));
}

// Walks the pixels of one row of kPixelBytes-byte pixels: `pixel(offset)` for
// the pixels before the first one whose address in `row` is a multiple of
// kVectorBytes, `group(offset)` for each whole vector's worth of pixels from
// there, then `pixel(offset)` for the rest. Whole-vector accesses to the row
// then never straddle two cache lines, which costs streaming kernels dearly.
// A row that no pixel boundary aligns is walked from its start. Offsets are in
// pixels from the row start and never overflow.
template <int kVectorBytes, int kPixelBytes, class Group, class Pixel>
MORVEX_PIXEL_INLINE void WalkRow(std::int32_t width, const Byte* row, Group&& group,
                                 Pixel&& pixel) {
  constexpr std::int32_t kPixelsPerGroup = kVectorBytes / kPixelBytes;
  const auto misalignment = static_cast<std::int32_t>(
      (kVectorBytes - reinterpret_cast<std::uintptr_t>(row) % kVectorBytes) % kVectorBytes);
  std::int32_t head = misalignment % kPixelBytes == 0 ? misalignment / kPixelBytes : 0;
  if (head > width) head = width;
  const std::int32_t groupEnd = width - (width - head) % kPixelsPerGroup;
  std::int32_t x = 0;
  for (; x < head; ++x) pixel(static_cast<std::ptrdiff_t>(x));
  for (; x < groupEnd; x += kPixelsPerGroup) group(static_cast<std::ptrdiff_t>(x));
  for (; x < width; ++x) pixel(static_cast<std::ptrdiff_t>(x));
}

}  // namespace morvex::blend
