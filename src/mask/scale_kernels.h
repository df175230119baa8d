// ScaleMask row kernels, written once over the vector layer (frame/simd) and
// instantiated per instruction set. Indices and weights are formed per
// element as in the scalar definition; the fraction weight of index f is
// f * 2^-11 exactly, the value the fraction table holds, so it is made in
// registers instead of looked up. The arithmetic runs in double lanes and is
// rounded to single where the definition stores a single.
#pragma once

#include "frame/simd/walk.h"
#include "mask/scale.h"

namespace morvex::mask {

// (a * wa + b * wb) in double, rounded to single, with the weights of the low
// and the high half of the lanes.
template <class I>
MORVEX_INLINE typename I::F ScaleMix(typename I::F a, typename I::D waLow, typename I::D waHigh,
                                     typename I::F b, typename I::D wbLow, typename I::D wbHigh) {
  return I::Narrow(I::AddD(I::MulD(I::WidenLo(a), waLow), I::MulD(I::WidenLo(b), wbLow)),
                   I::AddD(I::MulD(I::WidenHi(a), waHigh), I::MulD(I::WidenHi(b), wbHigh)));
}

// ScaleSourceRowFn.
template <class I>
void ScaleSourceRow(float* out, std::int32_t count, const Byte* row, std::int32_t last,
                    std::uint32_t uStart, std::uint32_t du, const float* fractions) {
  using V = typename I::V;
  using F = typename I::F;
  constexpr std::int32_t kLanes = I::kBytes / 4;
  constexpr std::uint32_t kAllLanes = (1u << kLanes) - 1u;
  alignas(64) std::uint32_t first[kLanes];
  for (std::int32_t k = 0; k < kLanes; ++k) first[k] = uStart + static_cast<std::uint32_t>(k) * du;
  V u = I::Load(first);
  const V step = I::Set32(static_cast<std::int32_t>(du * static_cast<std::uint32_t>(kLanes)));
  const V lastV = I::Set32(last), one = I::Set32(1), fractionMask = I::Set32(kFractionMask);
  const V outside = I::Set32(~(kLanes - 1));
  const F fractionScale = I::SetF(1.0f / kFractionCount), oneF = I::SetF(1.0f);
  std::int32_t k = 0;
  for (; k + kLanes <= count; k += kLanes) {
    // Negative positions sample index 0 with fraction 0; indices stop at the
    // last column.
    const V p = I::AndNot(I::template Srai32<31>(u), u);
    const V ix = I::MinS32(I::template Srli32<kFractionBits>(p), lastV);
    const V ix1 = I::MinS32(I::Add32(ix, one), lastV);
    const F wx = I::MulF(I::ToF(I::And(p, fractionMask)), fractionScale);
    const F wxc = I::SubF(oneF, wx);
    // Indices within one vector's width from the first, which is far enough
    // from the last column that no right neighbour is clamped: two loads
    // and permutes instead of gathers.
    const std::int32_t base =
        SplitPosition(PositionAt(uStart, du, static_cast<std::uint32_t>(k)), last).index;
    const V rel = I::Sub32(ix, I::Set32(base));
    F left, right;
    if (base <= last - kLanes && I::BitsOf(I::Eq32(I::And(rel, outside), I::Zero())) == kAllLanes) {
      left = I::PermuteF(I::LoadF(row + ElementOffset(base, 4)), rel);
      right = I::PermuteF(I::LoadF(row + ElementOffset(base + 1, 4)), rel);
    } else {
      left = I::GatherF(row, ix);
      right = I::GatherF(row, ix1);
    }
    I::StoreF(out + k, ScaleMix<I>(left, I::WidenLo(wxc), I::WidenHi(wxc), right, I::WidenLo(wx),
                                   I::WidenHi(wx)));
    u = I::Add32(u, step);
  }
  ScaleSourceRowScalar(out + k, count - k, row, last, uStart + static_cast<std::uint32_t>(k) * du,
                       du, fractions);
}

template <class I, ScaleMaskMode kMode>
void ScaleCombineRowIn(Byte* dst, std::int32_t count, const float* top, const float* bottom,
                       float wy, float wyc, const ScaleCombine& combine) {
  using D = typename I::D;
  const D wyV = I::SetD(wy), wycV = I::SetD(wyc);
  const D amount = I::SetD(combine.amount), keep = I::SetD(combine.keep);
  simd::WalkRow<I, 4>(
      count, dst,
      [&](std::ptrdiff_t x, const auto& io) {
        Byte* d = dst + 4 * x;
        const auto s = ScaleMix<I>(io.LoadF(top + x), wycV, wycV, io.LoadF(bottom + x), wyV, wyV);
        if constexpr (kMode == kScaleReplace) {
          io.StoreF(d, s);
        } else if constexpr (kMode == kScaleMultiply) {
          // The product of two singles rounds once either way.
          io.StoreF(d, I::MulF(s, io.LoadF(d)));
        } else {
          io.StoreF(d, ScaleMix<I>(s, amount, amount, io.LoadF(d), keep, keep));
        }
      },
      [&](std::ptrdiff_t x) {
        Byte* d = dst + 4 * x;
        const float s = VerticalSample(top[x], bottom[x], wy, wyc);
        StoreF32(d, kMode == kScaleReplace ? s : CombineSample(combine, s, LoadF32(d)));
      });
}

// ScaleCombineRowFn.
template <class I>
void ScaleCombineRow(Byte* dst, std::int32_t count, const float* top, const float* bottom,
                     float wy, float wyc, const ScaleCombine& combine) {
  WithScaleMode(combine.mode, [&](auto mode) {
    ScaleCombineRowIn<I, decltype(mode)::value>(dst, count, top, bottom, wy, wyc, combine);
  });
}

}  // namespace morvex::mask
