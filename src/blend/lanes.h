// Fixed-point steps shared by the blending kernels, written once over the
// vector layer (frame/simd: template parameter I, any instruction set).
#pragma once

#include <cstdint>

#include "frame/compiler.h"
#include "frame/plane.h"
#include "frame/simd/walk.h"

namespace morvex::blend {

// Quotient of a / 255 truncated, for 0 <= a <= 65535 in unsigned 16-bit
// lanes: (a * 0x8081) >> 23, which is exact for a up to 66298.
template <class I>
MORVEX_INLINE typename I::V Div255(typename I::V a) {
  return I::template Srli16<7>(I::MulhiU16(a, I::Set16(0x8081)));
}

// Even and odd bytes of a vector as 16-bit words (AND and shift, no
// shuffles), and the two recombined; every word must hold a byte value.
template <class I>
MORVEX_INLINE typename I::V EvenBytes(typename I::V v) {
  return I::And(v, I::Set16(0xFF));
}
template <class I>
MORVEX_INLINE typename I::V OddBytes(typename I::V v) {
  return I::template Srli16<8>(v);
}
template <class I>
MORVEX_INLINE typename I::V JoinBytes(typename I::V even, typename I::V odd) {
  return I::Or(even, I::template Slli16<8>(odd));
}

// (s * w + d * (255 - w)) / 255 per word (MixWords) or per byte (MixBytes)
// of s, d, w holding byte values; every sum stays within 0..65025.
template <class I>
MORVEX_INLINE typename I::V MixWords(typename I::V s, typename I::V d, typename I::V w) {
  const typename I::V full = I::Set16(255);
  return Div255<I>(I::Add16(I::Mullo16(s, w), I::Mullo16(d, I::Sub16(full, w))));
}
template <class I>
MORVEX_INLINE typename I::V MixBytes(typename I::V s, typename I::V d, typename I::V w) {
  return JoinBytes<I>(MixWords<I>(EvenBytes<I>(s), EvenBytes<I>(d), EvenBytes<I>(w)),
                      MixWords<I>(OddBytes<I>(s), OddBytes<I>(d), OddBytes<I>(w)));
}

using simd::WalkRow;

}  // namespace morvex::blend
