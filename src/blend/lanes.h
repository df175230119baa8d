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

// (s * w + d * (255 - w)) / 255 per word (MixWords) or per byte (MixBytes)
// of s, d, w holding byte values; every sum stays within 0..65025.
template <class I>
MORVEX_PIXEL_INLINE typename I::V MixWords(typename I::V s, typename I::V d, typename I::V w) {
  const typename I::V full = I::Set16(255);
  return Div255<I>(I::Add16(I::Mullo16(s, w), I::Mullo16(d, I::Sub16(full, w))));
}
template <class I>
MORVEX_PIXEL_INLINE typename I::V MixBytes(typename I::V s, typename I::V d, typename I::V w) {
  return JoinBytes<I>(MixWords<I>(EvenBytes<I>(s), EvenBytes<I>(d), EvenBytes<I>(w)),
                      MixWords<I>(OddBytes<I>(s), OddBytes<I>(d), OddBytes<I>(w)));
}

// How a group's vectors are read and written: whole vectors.
template <class I>
struct WholeGroup {
  static MORVEX_PIXEL_INLINE typename I::V Load(const void* p) { return I::Load(p); }
  static MORVEX_PIXEL_INLINE void Store(void* p, typename I::V v) { I::Store(p, v); }
  static MORVEX_PIXEL_INLINE typename I::F LoadF(const void* p) { return I::LoadF(p); }
  static MORVEX_PIXEL_INLINE void StoreF(void* p, typename I::F v) { I::StoreF(p, v); }
};

// Walks the pixels of one row of kPixelBytes-byte pixels. Whole vectors start
// at the first pixel whose address in `row` is a multiple of the vector size,
// so that they never straddle two cache lines (which costs streaming kernels
// dearly); a row that no pixel boundary aligns is walked from its start.
// `group(offset, io)` handles a vector's worth of pixels through io (a
// WholeGroup); the pixels before the first aligned one and after the last
// whole vector go to `pixel(offset)`, or, on an instruction set with masked
// memory access (I::kPartialGroups), to `group` with an io that reads and
// writes only those pixels. Offsets are in pixels from the row start.
template <class I, int kPixelBytes, class Group, class Pixel>
MORVEX_PIXEL_INLINE void WalkRow(std::int32_t width, const Byte* row, Group&& group,
                                 Pixel&& pixel) {
  constexpr std::int32_t kVectorBytes = I::kBytes;
  constexpr std::int32_t kPixelsPerGroup = kVectorBytes / kPixelBytes;
  const auto misalignment = static_cast<std::int32_t>(
      (kVectorBytes - reinterpret_cast<std::uintptr_t>(row) % kVectorBytes) % kVectorBytes);
  std::int32_t head = misalignment % kPixelBytes == 0 ? misalignment / kPixelBytes : 0;
  if (head > width) head = width;
  const std::int32_t groupEnd = width - (width - head) % kPixelsPerGroup;
  constexpr std::int32_t kWordsPerPixel = kPixelBytes / 4;
  std::int32_t x = 0;
  if constexpr (I::kPartialGroups) {
    if (head > 0) group(std::ptrdiff_t{0}, I::Part(head * kWordsPerPixel));
    x = head;
  } else {
    for (; x < head; ++x) pixel(static_cast<std::ptrdiff_t>(x));
  }
  for (; x < groupEnd; x += kPixelsPerGroup)
    group(static_cast<std::ptrdiff_t>(x), WholeGroup<I>{});
  if constexpr (I::kPartialGroups) {
    if (x < width) group(static_cast<std::ptrdiff_t>(x), I::Part((width - x) * kWordsPerPixel));
  } else {
    for (; x < width; ++x) pixel(static_cast<std::ptrdiff_t>(x));
  }
}

}  // namespace morvex::blend
