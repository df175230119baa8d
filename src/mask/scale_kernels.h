// ScaleMask row kernels, written once over the vector layer (frame/simd) and
// instantiated per instruction set. The horizontal indices and weights come
// from the call's column plan; the arithmetic runs in double lanes, in the
// order of the scalar definition, and is rounded to single where the
// definition stores a single.
#pragma once

#include <type_traits>

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

// ScaleSourceRowFn: a vector of columns at a time, their source values
// taken from the group's window by permutes (or one by one where the plan
// found no window), the weights from the plan.
template <class I>
void ScaleSourceRow(float* out, const Byte* row, const ScaleColumns& plan) {
  using V = typename I::V;
  using F = typename I::F;
  using D = typename I::D;
  constexpr std::int32_t kLanes = I::kBytes / 4;
  const V lastV = I::Set32(plan.last), one = I::Set32(1);
  const D oneD = I::SetD(1.0);
  std::int32_t k = 0;
  for (std::int32_t g = 0; k + kLanes <= plan.count; k += kLanes, ++g) {
    const V ix = I::Load(plan.index + k);
    const Byte* window = row + ElementOffset(plan.window[g], 4);
    const V rel = I::Sub32(ix, I::Set32(plan.window[g]));
    F left, right;
    switch (plan.vectors[g]) {
      case 1:
        left = I::PermuteF(I::LoadF(window), rel);
        right = I::PermuteF(I::LoadF(window + 4), rel);
        break;
      case 2:
        left = I::Permute2F(I::LoadF(window), I::LoadF(window + I::kBytes), rel);
        right = I::Permute2F(I::LoadF(window + 4), I::LoadF(window + 4 + I::kBytes), rel);
        break;
      default:
        left = I::GatherF(row, ix);
        right = I::GatherF(row, I::MinS32(I::Add32(ix, one), lastV));
        break;
    }
    // wxc = 1 - wx is exact in single and in double.
    const F wx = I::LoadF(plan.weight + k);
    const D wxLow = I::WidenLo(wx), wxHigh = I::WidenHi(wx);
    I::StoreF(out + k, ScaleMix<I>(left, I::SubD(oneD, wxLow), I::SubD(oneD, wxHigh), right,
                                   wxLow, wxHigh));
  }
  ScaleSourceColumnsScalar(out, row, plan, k);
}

template <class I, ScaleMaskMode kMode, bool kStream>
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
          // Whole vectors of a row that starts on an element boundary are
          // aligned (WalkRow), so they may be streamed.
          if constexpr (kStream && std::is_same_v<std::decay_t<decltype(io)>, simd::WholeGroup<I>>)
            I::StreamF(d, s);
          else
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
  if (combine.mode == kScaleReplace && combine.stream &&
      reinterpret_cast<std::uintptr_t>(dst) % kFloatMaskBytes == 0) {
    ScaleCombineRowIn<I, kScaleReplace, true>(dst, count, top, bottom, wy, wyc, combine);
    return;
  }
  WithScaleMode(combine.mode, [&](auto mode) {
    ScaleCombineRowIn<I, decltype(mode)::value, false>(dst, count, top, bottom, wy, wyc, combine);
  });
}

}  // namespace morvex::mask
