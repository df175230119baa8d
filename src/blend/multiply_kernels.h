// Vector row kernels of Multiply, MultiplyChannel and MaskMultiply, written
// once over the vector layer (frame/simd, every instruction set) and
// instantiated per instruction set.
#pragma once

#include "blend/multiply.h"

namespace morvex::blend {

// (d * m + 127) / 255 per 16-bit lane (d, m <= 255). Also right for 32-bit
// lanes whose upper words are 0: those words come out 0 again.
template <class I>
MORVEX_INLINE typename I::V ScaleShortcutLanes(typename I::V d, typename I::V m) {
  return Div255<I>(I::Add16(I::Mullo16(d, m), I::Set16(127)));
}

// The general formula per 32-bit lane, wrapping like the scalar definition.
// With u = v >> 10 (a floor), clamp(u, 0, 65279) / 255 equals the clamped,
// truncated v / 261120 for every v: they differ only for negative v, where
// both give 0, and 65279 / 255 = 255 already.
template <class I>
MORVEX_INLINE typename I::V ScaleGeneralLanes(typename I::V d, typename I::V m,
                                                    typename I::V ks, typename I::V ko) {
  using V = typename I::V;
  const V w = I::Add32(I::Mullo32(m, ks), ko);
  const V v = I::Add32(I::Mullo32(d, w), I::Set32(130560));
  const V u = I::MinS32(I::MaxS32(I::template Srai32<10>(v), I::Zero()), I::Set32(65279));
  return Div255<I>(u);
}

// The general formula's constants for 16-bit lanes. Ks and Ko are split into
// a signed low word and a high word: d * (m * Ks + Ko) + 130560 modulo 2^32
// is then (dm - 32768) * KsLow + d * KoLow (one multiply-add, exact in 32
// bits) + 32768 * KsLow + 130560 + ((dm * KsHigh + d * KoHigh) mod 2^16) << 16,
// with dm = d * m. The high words are 0 when Ks and Ko fit 16 bits.
template <class I>
struct GeneralWords {
  typename I::V lowPair, bias, ksHigh, koHigh;

  GeneralWords(std::int32_t ks, std::int32_t ko) {
    const auto u32 = [](std::int32_t v) { return static_cast<std::uint32_t>(v); };
    // The signed low word, and the rest above it (only its low 16 bits matter).
    const auto low = [&](std::int32_t v) { return u32(static_cast<std::int16_t>(v & 0xFFFF)); };
    const auto high = [&](std::int32_t v) { return static_cast<int>((u32(v) - low(v)) >> 16); };
    lowPair = I::Set32(static_cast<std::int32_t>((u32(ko) << 16) | (low(ks) & 0xFFFFu)));
    bias = I::Set32(static_cast<std::int32_t>(32768u * low(ks) + 130560u));
    ksHigh = I::Set16(high(ks));
    koHigh = I::Set16(high(ko));
  }
};

// ScaleByMaskGeneral per 16-bit lane (d, m <= 255), as words 0..257 whose
// minimum with 255 is the byte result: with u = v >> 10 saturated to
// 0..65535, u / 255 is the clamped, truncated v / 261120, except from
// u = 65280 on, where both are 255 after that minimum.
template <class I, bool kWide>
MORVEX_INLINE typename I::V ScaleGeneralWords(typename I::V d, typename I::V m,
                                                    const GeneralWords<I>& k) {
  using V = typename I::V;
  const V dm = I::Mullo16(d, m);
  const V signedDm = I::Xor(dm, I::Set16(0x8000));
  V lo = I::Add32(I::Madd16(I::UnpackLo16(signedDm, d), k.lowPair), k.bias);
  V hi = I::Add32(I::Madd16(I::UnpackHi16(signedDm, d), k.lowPair), k.bias);
  if constexpr (kWide) {
    const V highWords = I::Add16(I::Mullo16(dm, k.ksHigh), I::Mullo16(d, k.koHigh));
    lo = I::Add32(lo, I::UnpackLo16(I::Zero(), highWords));
    hi = I::Add32(hi, I::UnpackHi16(I::Zero(), highWords));
  }
  return Div255<I>(I::PackUS32(I::template Srai32<10>(lo), I::template Srai32<10>(hi)));
}

// ScaleByMask for every byte of d with the mask byte in the same place.
template <class I, RemapLoop kLoop>
MORVEX_INLINE typename I::V ScaleBytes(typename I::V d, typename I::V m,
                                             const GeneralWords<I>& k) {
  using V = typename I::V;
  const auto scale = [&](V d16, V m16) {
    if constexpr (kLoop == kShortcutLoop)
      return ScaleShortcutLanes<I>(d16, m16);
    else
      return I::MinS16(ScaleGeneralWords<I, kLoop == kGeneralWideLoop>(d16, m16, k), I::Set16(255));
  };
  return JoinBytes<I>(scale(EvenBytes<I>(d), EvenBytes<I>(m)),
                      scale(OddBytes<I>(d), OddBytes<I>(m)));
}

template <class I>
void MultiplyRow(Byte* dst, std::int32_t width, std::int32_t k) {
  using V = typename I::V;
  const V factor = I::Set16(k), bias = I::Set16(127);
  // b * k + 127 <= 65407 for k <= 256: an unsigned 16-bit shift divides.
  const auto scale = [&](V b16) {
    return I::template Srli16<8>(I::Add16(I::Mullo16(b16, factor), bias));
  };
  WalkRow<I, 4>(
      width, dst,
      [&](std::ptrdiff_t x, const auto& io) {
        const V b = io.Load(dst + 4 * x);
        io.Store(dst + 4 * x, JoinBytes<I>(scale(EvenBytes<I>(b)), scale(OddBytes<I>(b))));
      },
      [&](std::ptrdiff_t x) {
        for (int c = 0; c < 4; ++c) dst[4 * x + c] = MultiplyByte(dst[4 * x + c], k);
      });
}

// One channel per 32-bit lane: extracted, scaled and put back in place.
template <class I, bool kGeneral>
void MultiplyChannelRow(Byte* dst, const Byte* mask, std::int32_t width, int dstChannel,
                        int maskChannel, std::int32_t ks, std::int32_t ko) {
  using V = typename I::V;
  const V low = I::Set32(0xFF), vks = I::Set32(ks), vko = I::Set32(ko);
  const V keep = I::Set32(static_cast<std::int32_t>(~(0xFFu << (8 * dstChannel))));
  WalkRow<I, 4>(
      width, dst,
      [&](std::ptrdiff_t x, const auto& io) {
        const V dp = io.Load(dst + 4 * x), mp = io.Load(mask + 4 * x);
        const V d = I::And(I::Srl32(dp, 8 * dstChannel), low);
        const V m = I::And(I::Srl32(mp, 8 * maskChannel), low);
        V r;
        if constexpr (kGeneral)
          r = ScaleGeneralLanes<I>(d, m, vks, vko);
        else
          r = ScaleShortcutLanes<I>(d, m);
        io.Store(dst + 4 * x, I::Or(I::And(dp, keep), I::Sll32(r, 8 * dstChannel)));
      },
      [&](std::ptrdiff_t x) {
        Byte* d = dst + 4 * x;
        d[dstChannel] = ScaleByMask<kGeneral>(d[dstChannel], mask[4 * x + maskChannel], ks, ko);
      });
}

template <class I, RemapLoop kLoop, bool kSingle>
void MaskMultiplyRow(Byte* dst, const Byte* mask, std::int32_t width, int maskChannel,
                     std::int32_t ks, std::int32_t ko) {
  using V = typename I::V;
  constexpr bool kGeneral = kLoop != kShortcutLoop;
  const GeneralWords<I> words(ks, ko);
  WalkRow<I, 4>(
      width, dst,
      [&](std::ptrdiff_t x, const auto& io) {
        V m = io.Load(mask + 4 * x);
        if constexpr (kSingle) m = I::BroadcastByte(m, maskChannel);
        io.Store(dst + 4 * x, ScaleBytes<I, kLoop>(io.Load(dst + 4 * x), m, words));
      },
      [&](std::ptrdiff_t x) {
        if constexpr (kSingle)
          MaskMultiplySinglePixel<kGeneral>(dst + 4 * x, mask + 4 * x, maskChannel, ks, ko);
        else
          MaskMultiplyPixel<kGeneral>(dst + 4 * x, mask + 4 * x, ks, ko);
      });
}

template <class I>
constexpr MultiplyKernels MakeMultiplyKernels() {
  return {&MultiplyRow<I>,
          {&MultiplyChannelRow<I, false>, &MultiplyChannelRow<I, true>},
          {&MaskMultiplyRow<I, kShortcutLoop, false>, &MaskMultiplyRow<I, kGeneralLoop, false>,
           &MaskMultiplyRow<I, kGeneralWideLoop, false>},
          {&MaskMultiplyRow<I, kShortcutLoop, true>, &MaskMultiplyRow<I, kGeneralLoop, true>,
           &MaskMultiplyRow<I, kGeneralWideLoop, true>}};
}

}  // namespace morvex::blend
