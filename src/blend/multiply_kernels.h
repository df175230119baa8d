// Vector row kernels of Multiply, MultiplyChannel and MaskMultiply, written
// once over the operations of simd_sse2.h / simd_avx2.h.
#pragma once

#include "blend/multiply.h"

namespace morvex::blend {

// (d * m + 127) / 255 per 16-bit lane (d, m <= 255). Also right for 32-bit
// lanes whose upper words are 0: those words come out 0 again.
template <class I>
MORVEX_PIXEL_INLINE typename I::V ScaleShortcutLanes(typename I::V d, typename I::V m) {
  return Div255<I>(I::Add16(I::Mullo16(d, m), I::Set16(127)));
}

// The general formula per 32-bit lane, wrapping like the scalar definition.
// With u = v >> 10 (a floor), clamp(u, 0, 65279) / 255 equals the clamped,
// truncated v / 261120 for every v: they differ only for negative v, where
// both give 0, and 65279 / 255 = 255 already.
template <class I>
MORVEX_PIXEL_INLINE typename I::V ScaleGeneralLanes(typename I::V d, typename I::V m,
                                                    typename I::V ks, typename I::V ko) {
  using V = typename I::V;
  const V w = I::Add32(I::Mullo32(m, ks), ko);
  const V v = I::Add32(I::Mullo32(d, w), I::Set32(130560));
  const V u = I::MinS32(I::MaxS32(I::template Srai32<10>(v), I::Zero()), I::Set32(65279));
  return Div255<I>(u);
}

// ScaleByMask for every byte of d with the mask byte in the same place.
template <class I, bool kGeneral>
MORVEX_PIXEL_INLINE typename I::V ScaleBytes(typename I::V d, typename I::V m, typename I::V ks,
                                             typename I::V ko) {
  using V = typename I::V;
  const V zero = I::Zero();
  const V d16lo = I::UnpackLo8(d, zero), d16hi = I::UnpackHi8(d, zero);
  const V m16lo = I::UnpackLo8(m, zero), m16hi = I::UnpackHi8(m, zero);
  if constexpr (!kGeneral) {
    return I::PackUS16(ScaleShortcutLanes<I>(d16lo, m16lo), ScaleShortcutLanes<I>(d16hi, m16hi));
  } else {
    const auto quarter = [&](V d32, V m32) { return ScaleGeneralLanes<I>(d32, m32, ks, ko); };
    const V lo = I::PackS32(quarter(I::UnpackLo16(d16lo, zero), I::UnpackLo16(m16lo, zero)),
                            quarter(I::UnpackHi16(d16lo, zero), I::UnpackHi16(m16lo, zero)));
    const V hi = I::PackS32(quarter(I::UnpackLo16(d16hi, zero), I::UnpackLo16(m16hi, zero)),
                            quarter(I::UnpackHi16(d16hi, zero), I::UnpackHi16(m16hi, zero)));
    return I::PackUS16(lo, hi);
  }
}

template <class I>
void MultiplyRow(Byte* dst, std::int32_t width, std::int32_t k) {
  using V = typename I::V;
  const V factor = I::Set16(k), bias = I::Set16(127), zero = I::Zero();
  // b * k + 127 <= 65407 for k <= 256: an unsigned 16-bit shift divides.
  const auto half = [&](V b16) { return I::template Srli16<8>(I::Add16(I::Mullo16(b16, factor), bias)); };
  WalkRow<I::kBytes / 4>(
      width,
      [&](std::ptrdiff_t x) {
        const V b = I::Load(dst + 4 * x);
        I::Store(dst + 4 * x, I::PackUS16(half(I::UnpackLo8(b, zero)), half(I::UnpackHi8(b, zero))));
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
  WalkRow<I::kBytes / 4>(
      width,
      [&](std::ptrdiff_t x) {
        const V dp = I::Load(dst + 4 * x), mp = I::Load(mask + 4 * x);
        const V d = I::And(I::Srl32(dp, 8 * dstChannel), low);
        const V m = I::And(I::Srl32(mp, 8 * maskChannel), low);
        V r;
        if constexpr (kGeneral)
          r = ScaleGeneralLanes<I>(d, m, vks, vko);
        else
          r = ScaleShortcutLanes<I>(d, m);
        I::Store(dst + 4 * x, I::Or(I::And(dp, keep), I::Sll32(r, 8 * dstChannel)));
      },
      [&](std::ptrdiff_t x) {
        Byte* d = dst + 4 * x;
        d[dstChannel] = ScaleByMask<kGeneral>(d[dstChannel], mask[4 * x + maskChannel], ks, ko);
      });
}

template <class I, bool kGeneral, bool kSingle>
void MaskMultiplyRow(Byte* dst, const Byte* mask, std::int32_t width, int maskChannel,
                     std::int32_t ks, std::int32_t ko) {
  using V = typename I::V;
  const V vks = I::Set32(ks), vko = I::Set32(ko);
  WalkRow<I::kBytes / 4>(
      width,
      [&](std::ptrdiff_t x) {
        V m = I::Load(mask + 4 * x);
        if constexpr (kSingle) m = I::BroadcastByte(m, maskChannel);
        I::Store(dst + 4 * x, ScaleBytes<I, kGeneral>(I::Load(dst + 4 * x), m, vks, vko));
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
          {&MaskMultiplyRow<I, false, false>, &MaskMultiplyRow<I, true, false>},
          {&MaskMultiplyRow<I, false, true>, &MaskMultiplyRow<I, true, true>}};
}

}  // namespace morvex::blend
