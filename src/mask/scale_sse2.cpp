// ScaleMask kernels, four elements per step: indices and weights per
// element as in the scalar definition, the arithmetic two lanes of double at
// a time.
#include <emmintrin.h>

#include "mask/scale.h"

namespace morvex::mask {
namespace {

// (a * wa + b * wb) in double, stored as single, for the low two lanes.
inline __m128 Mix2(__m128 a, __m128d wa, __m128 b, __m128d wb) {
  return _mm_cvtpd_ps(_mm_add_pd(_mm_mul_pd(_mm_cvtps_pd(a), wa), _mm_mul_pd(_mm_cvtps_pd(b), wb)));
}
inline __m128 HighPair(__m128 v) { return _mm_movehl_ps(v, v); }

// Four lanes of a * wa + b * wb, a pair of lanes at a time.
inline __m128 Mix4(__m128 a, __m128d waLo, __m128d waHi, __m128 b, __m128d wbLo, __m128d wbHi) {
  return _mm_movelh_ps(Mix2(a, waLo, b, wbLo), Mix2(HighPair(a), waHi, HighPair(b), wbHi));
}

template <ScaleMaskMode Mode>
void CombineRow(Byte* dst, std::int32_t count, const float* top, const float* bottom, float wy,
                float wyc, const ScaleCombine& combine) {
  const __m128d wyV = _mm_set1_pd(wy), wycV = _mm_set1_pd(wyc);
  const __m128d amount = _mm_set1_pd(combine.amount), keep = _mm_set1_pd(combine.keep);
  std::int32_t k = 0;
  for (; k + 4 <= count; k += 4) {
    const __m128 s = Mix4(_mm_loadu_ps(top + k), wycV, wycV, _mm_loadu_ps(bottom + k), wyV, wyV);
    auto* d = reinterpret_cast<float*>(dst + ElementOffset(k, 4));
    if constexpr (Mode == kScaleReplace) {
      _mm_storeu_ps(d, s);
    } else if constexpr (Mode == kScaleMultiply) {
      // The product of two singles rounds once either way.
      _mm_storeu_ps(d, _mm_mul_ps(s, _mm_loadu_ps(d)));
    } else {
      _mm_storeu_ps(d, Mix4(s, amount, amount, _mm_loadu_ps(d), keep, keep));
    }
  }
  ScaleCombineRowScalar(dst + ElementOffset(k, 4), count - k, top + k, bottom + k, wy, wyc,
                        combine);
}

}  // namespace

void ScaleSourceRowSse2(float* out, std::int32_t count, const Byte* row, std::int32_t last,
                        std::uint32_t uStart, std::uint32_t du, const float* fractions) {
  const __m128d oneD = _mm_set1_pd(1.0);
  std::int32_t k = 0;
  for (; k + 4 <= count; k += 4) {
    alignas(16) float left[4], right[4], wx[4];
    for (int lane = 0; lane < 4; ++lane) {
      const SourceIndex s =
          SplitPosition(PositionAt(uStart, du, static_cast<std::uint32_t>(k + lane)), last);
      left[lane] = LoadF32(row + ElementOffset(s.index, 4));
      right[lane] = LoadF32(row + ElementOffset(s.index < last ? s.index + 1 : last, 4));
      wx[lane] = fractions[s.fraction];
    }
    const __m128 w = _mm_load_ps(wx);
    const __m128d wxLo = _mm_cvtps_pd(w), wxHi = _mm_cvtps_pd(HighPair(w));
    const __m128d wxcLo = _mm_sub_pd(oneD, wxLo), wxcHi = _mm_sub_pd(oneD, wxHi);
    _mm_storeu_ps(out + k, Mix4(_mm_load_ps(left), wxcLo, wxcHi, _mm_load_ps(right), wxLo, wxHi));
  }
  ScaleSourceRowScalar(out + k, count - k, row, last, uStart + static_cast<std::uint32_t>(k) * du,
                       du, fractions);
}

void ScaleCombineRowSse2(Byte* dst, std::int32_t count, const float* top, const float* bottom,
                         float wy, float wyc, const ScaleCombine& combine) {
  WithScaleMode(combine.mode, [&](auto mode) {
    CombineRow<decltype(mode)::value>(dst, count, top, bottom, wy, wyc, combine);
  });
}

}  // namespace morvex::mask
