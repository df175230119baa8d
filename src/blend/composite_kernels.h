// Vector row routines of Composite, written once over the vector layer
// (frame/simd, every instruction set) and instantiated per instruction set in
// composite_sse2.cpp, composite_avx2.cpp and composite_avx512.cpp. The bytes of a vector are split into two word
// vectors (EvenBytes, OddBytes): B and R of each pixel, and G and A (the
// alpha is the high word of each 32 bits). Every product stays
// below 65536, so each division by 255 is the exact reciprocal multiply of
// Div255, and every result fits a byte, so the halves recombine by OR.
#pragma once

#include "blend/composite.h"

namespace morvex::blend {

// The mode's x for every word of s and d (channel values 0..255); sa holds
// the source alpha of each word's pixel. kOdd: the words hold G and A.
template <class I, CompositeMode kMode, bool kOdd>
MORVEX_INLINE typename I::V CompositeX16(typename I::V s, typename I::V d, typename I::V sa) {
  using V = typename I::V;
  const V full = I::Set16(255), half = I::Set16(127);
  // a + ((255 - a) * d + 127) / 255 equals (255 * s + (255 - a) * d + 127) / 255
  // for s = a, and keeps the dividend below 65536.
  const auto sourceOver = [&] {
    return I::Add16(s, Div255<I>(I::Add16(I::Mullo16(I::Sub16(full, sa), d), half)));
  };
  if constexpr (kMode == ModeNormal) {
    return I::MinS16(sourceOver(), full);
  } else if constexpr (kMode == ModeMultiply) {
    return Div255<I>(I::Mullo16(s, d));
  } else if constexpr (kMode == ModeAverage) {
    return I::template Srli16<1>(I::Add16(s, d));
  } else {
    V colour;
    if constexpr (kMode == ModeAdd) {
      colour = I::MinS16(I::Add16(s, d), full);
    } else if constexpr (kMode == ModeOverlay) {
      // From D >= 128 on, both factors are complemented and so is the result.
      // 2p / 255 is (2p * 0x8081) >> 23 = (p * 0x8081) >> 22, exact as 2p <= 64770.
      const V flip = I::And(I::CmpGtS16(d, half), full);
      const V p = I::Mullo16(I::Xor(d, flip), I::Xor(s, flip));
      const V q = I::template Srli16<6>(I::MulhiU16(p, I::Set16(0x8081)));
      colour = I::Xor(q, flip);
    } else {
      static_assert(kMode == ModeScreen);
      colour = I::Xor(Div255<I>(I::Mullo16(I::Xor(s, full), I::Xor(d, full))), full);
    }
    if constexpr (!kOdd) return colour;
    // The alpha words take the union, which is sourceOver there.
    const V alphaWords = I::Set32(static_cast<std::int32_t>(0xFFFF0000u));
    return I::Select(alphaWords, sourceOver(), colour);
  }
}

template <class I, CompositeMode kMode>
void CompositeRow(Byte* dst, const Byte* src, std::int32_t width, std::uint8_t o) {
  using V = typename I::V;
  const auto even = [](V v) { return EvenBytes<I>(v); };
  const auto odd = [](V v) { return OddBytes<I>(v); };
  const auto join = [](V e, V o) { return JoinBytes<I>(e, o); };
  const auto sourceAlpha = [&](V s) {
    const V a = I::template Srli32<24>(s);
    return I::Or(a, I::template Slli32<16>(a));
  };
  if (o == 255) {
    WalkRow<I, 4>(
        width, dst,
        [&](std::ptrdiff_t x, const auto& io) {
          const V s = io.Load(src + 4 * x), d = io.Load(dst + 4 * x), sa = sourceAlpha(s);
          io.Store(dst + 4 * x, join(CompositeX16<I, kMode, false>(even(s), even(d), sa),
                                     CompositeX16<I, kMode, true>(odd(s), odd(d), sa)));
        },
        [&](std::ptrdiff_t x) { CompositePixelOpaque<kMode>(dst + 4 * x, src + 4 * x); });
    return;
  }
  const V opacity = I::Set16(o), rest = I::Set16(255 - o);
  const auto mix = [&](V x16, V d16) {
    return Div255<I>(I::Add16(I::Mullo16(x16, opacity), I::Mullo16(d16, rest)));
  };
  WalkRow<I, 4>(
      width, dst,
      [&](std::ptrdiff_t x, const auto& io) {
        const V s = io.Load(src + 4 * x), d = io.Load(dst + 4 * x), sa = sourceAlpha(s);
        const V dEven = even(d), dOdd = odd(d);
        io.Store(dst + 4 * x, join(mix(CompositeX16<I, kMode, false>(even(s), dEven, sa), dEven),
                                   mix(CompositeX16<I, kMode, true>(odd(s), dOdd, sa), dOdd)));
      },
      [&](std::ptrdiff_t x) { CompositePixelMix<kMode>(dst + 4 * x, src + 4 * x, o); });
}

// CompositeRow<I, kMode> as a row routine of MakeCompositeKernels.
template <class I>
struct CompositeRowOf {
  template <CompositeMode kMode>
  struct Mode {
    static void Run(Byte* dst, const Byte* src, std::int32_t width, std::uint8_t o) {
      CompositeRow<I, kMode>(dst, src, width, o);
    }
  };
};

}  // namespace morvex::blend
