// ScaleMask rows, four destination elements per step: indices and weights
// per element as in the scalar definition, the arithmetic two lanes of
// double at a time.
#include <emmintrin.h>

#include "mask/scale.h"

namespace morvex::mask {
namespace {

// (a * wa + b * wb) in double, stored as single, for two lanes (in the low
// half of the result).
inline __m128 Mix2(__m128 a, __m128d wa, __m128 b, __m128d wb) {
  return _mm_cvtpd_ps(_mm_add_pd(_mm_mul_pd(_mm_cvtps_pd(a), wa), _mm_mul_pd(_mm_cvtps_pd(b), wb)));
}
inline __m128 HighPair(__m128 v) { return _mm_movehl_ps(v, v); }
inline __m128 JoinPairs(__m128 low, __m128 high) { return _mm_movelh_ps(low, high); }

// Four lanes of a * wa + b * wb, per pair of lanes.
inline __m128 Mix4(__m128 a, __m128d waLo, __m128d waHi, __m128 b, __m128d wbLo, __m128d wbHi) {
  return JoinPairs(Mix2(a, waLo, b, wbLo), Mix2(HighPair(a), waHi, HighPair(b), wbHi));
}

template <ScaleMaskMode Mode>
void ScaleRowSse2(Byte* dst, std::int32_t count, const ScaleRow& row, std::uint32_t uStart,
                  std::uint32_t du, const ScaleCombine& combine) {
  constexpr int kLanes = 4;
  const __m128d wy = _mm_set1_pd(row.wy), wyc = _mm_set1_pd(row.wyc);
  const __m128d amount = _mm_set1_pd(combine.amount), keep = _mm_set1_pd(combine.keep);
  const __m128d oneD = _mm_set1_pd(1.0);
  std::int32_t k = 0;
  for (; k + kLanes <= count; k += kLanes) {
    float ul[kLanes], ur[kLanes], ll[kLanes], lr[kLanes], wx[kLanes];
    for (int lane = 0; lane < kLanes; ++lane) {
      const SourceIndex s = SplitPosition(
          PositionAt(uStart, du, static_cast<std::uint32_t>(k + lane)), row.lastColumn);
      const std::int32_t ix1 = s.index < row.lastColumn ? s.index + 1 : row.lastColumn;
      ul[lane] = LoadF32(row.upper + ElementOffset(s.index, 4));
      ur[lane] = LoadF32(row.upper + ElementOffset(ix1, 4));
      ll[lane] = LoadF32(row.lower + ElementOffset(s.index, 4));
      lr[lane] = LoadF32(row.lower + ElementOffset(ix1, 4));
      wx[lane] = row.fractions[s.fraction];
    }
    const __m128 w = _mm_loadu_ps(wx);
    const __m128d wxLo = _mm_cvtps_pd(w), wxHi = _mm_cvtps_pd(HighPair(w));
    const __m128d wxcLo = _mm_sub_pd(oneD, wxLo), wxcHi = _mm_sub_pd(oneD, wxHi);
    const __m128 top = Mix4(_mm_loadu_ps(ul), wxcLo, wxcHi, _mm_loadu_ps(ur), wxLo, wxHi);
    const __m128 bottom = Mix4(_mm_loadu_ps(ll), wxcLo, wxcHi, _mm_loadu_ps(lr), wxLo, wxHi);
    const __m128 s = Mix4(top, wyc, wyc, bottom, wy, wy);

    auto* d = reinterpret_cast<float*>(dst + ElementOffset(k, 4));
    if constexpr (Mode == kScaleReplace) {
      _mm_storeu_ps(d, s);
    } else if constexpr (Mode == kScaleMultiply) {
      _mm_storeu_ps(d, _mm_mul_ps(s, _mm_loadu_ps(d)));
    } else {
      _mm_storeu_ps(d, Mix4(s, amount, amount, _mm_loadu_ps(d), keep, keep));
    }
  }
  ScaleMaskRowScalar(dst + ElementOffset(k, 4), count - k, row,
                     uStart + static_cast<std::uint32_t>(k) * du, du, combine);
}

}  // namespace

void ScaleMaskRowSse2(Byte* dst, std::int32_t count, const ScaleRow& row, std::uint32_t uStart,
                      std::uint32_t du, const ScaleCombine& combine) {
  switch (combine.mode) {
    case kScaleBlend:
      return ScaleRowSse2<kScaleBlend>(dst, count, row, uStart, du, combine);
    case kScaleMultiply:
      return ScaleRowSse2<kScaleMultiply>(dst, count, row, uStart, du, combine);
    default:
      return ScaleRowSse2<kScaleReplace>(dst, count, row, uStart, du, combine);
  }
}

}  // namespace morvex::mask
