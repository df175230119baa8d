// ScaleMask kernels, eight elements per step. The fraction weight of index f
// is f * 2^-11 exactly, the value the fraction table holds, so it is formed
// in registers instead of being looked up.
#include <immintrin.h>

#include "mask/scale.h"

namespace morvex::mask {
namespace {

// (a * wa + b * wb) in double, stored as single: four lanes.
inline __m128 Mix(__m128 a, __m256d wa, __m128 b, __m256d wb) {
  return _mm256_cvtpd_ps(_mm256_add_pd(_mm256_mul_pd(_mm256_cvtps_pd(a), wa),
                                       _mm256_mul_pd(_mm256_cvtps_pd(b), wb)));
}

inline __m128 Low(__m256 v) { return _mm256_castps256_ps128(v); }
inline __m128 High(__m256 v) { return _mm256_extractf128_ps(v, 1); }
inline __m256 Join(__m128 low, __m128 high) {
  return _mm256_insertf128_ps(_mm256_castps128_ps256(low), high, 1);
}

struct Neighbours {
  __m256 left, right;  // the values at ix and at ix1
};

// The source values at eight column indices and at their right neighbours.
// When the indices lie within sixteen columns that end before the last one
// (so no right neighbour is clamped), loads and permutes replace gathers.
inline Neighbours LoadNeighbours(const float* values, __m256i ix, __m256i ix1, std::int32_t last) {
  const std::int32_t first = _mm256_cvtsi256_si32(ix);
  const __m256i rel = _mm256_sub_epi32(ix, _mm256_set1_epi32(first));
  if (first <= last - 16 && _mm256_testz_si256(rel, _mm256_set1_epi32(~15))) {
    const float* run = values + first;
    if (_mm256_testz_si256(rel, _mm256_set1_epi32(~7))) {
      return {_mm256_permutevar8x32_ps(_mm256_loadu_ps(run), rel),
              _mm256_permutevar8x32_ps(_mm256_loadu_ps(run + 1), rel)};
    }
    // Lanes with rel > 7 take the second run of eight.
    const __m256 high = _mm256_castsi256_ps(_mm256_cmpgt_epi32(rel, _mm256_set1_epi32(7)));
    auto pick = [&](const float* at) {
      return _mm256_blendv_ps(_mm256_permutevar8x32_ps(_mm256_loadu_ps(at), rel),
                              _mm256_permutevar8x32_ps(_mm256_loadu_ps(at + 8), rel), high);
    };
    return {pick(run), pick(run + 1)};
  }
  return {_mm256_i32gather_ps(values, ix, 4), _mm256_i32gather_ps(values, ix1, 4)};
}

template <ScaleMaskMode Mode>
void CombineRow(Byte* dst, std::int32_t count, const float* top, const float* bottom, float wy,
                float wyc, const ScaleCombine& combine) {
  const __m256d wyV = _mm256_set1_pd(wy), wycV = _mm256_set1_pd(wyc);
  const __m256d amount = _mm256_set1_pd(combine.amount), keep = _mm256_set1_pd(combine.keep);
  std::int32_t k = 0;
  for (; k + 8 <= count; k += 8) {
    const __m256 t = _mm256_loadu_ps(top + k), b = _mm256_loadu_ps(bottom + k);
    const __m128 sLo = Mix(Low(t), wycV, Low(b), wyV);
    const __m128 sHi = Mix(High(t), wycV, High(b), wyV);
    auto* d = reinterpret_cast<float*>(dst + ElementOffset(k, 4));
    if constexpr (Mode == kScaleReplace) {
      _mm256_storeu_ps(d, Join(sLo, sHi));
    } else if constexpr (Mode == kScaleMultiply) {
      // The product of two singles rounds once either way.
      _mm256_storeu_ps(d, _mm256_mul_ps(Join(sLo, sHi), _mm256_loadu_ps(d)));
    } else {
      const __m256 old = _mm256_loadu_ps(d);
      _mm256_storeu_ps(d, Join(Mix(sLo, amount, Low(old), keep), Mix(sHi, amount, High(old), keep)));
    }
  }
  ScaleCombineRowScalar(dst + ElementOffset(k, 4), count - k, top + k, bottom + k, wy, wyc,
                        combine);
}

}  // namespace

void ScaleSourceRowAvx2(float* out, std::int32_t count, const Byte* row, std::int32_t last,
                        std::uint32_t uStart, std::uint32_t du, const float* fractions) {
  constexpr int kLanes = 8;
  const auto* values = reinterpret_cast<const float*>(row);
  __m256i u = _mm256_add_epi32(
      _mm256_set1_epi32(static_cast<int>(uStart)),
      _mm256_mullo_epi32(_mm256_set1_epi32(static_cast<int>(du)),
                         _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7)));
  const __m256i groupStep = _mm256_set1_epi32(static_cast<int>(du * kLanes));
  const __m256i lastV = _mm256_set1_epi32(last);
  const __m256i one = _mm256_set1_epi32(1);
  const __m256i fractionMask = _mm256_set1_epi32(kFractionMask);
  const __m256d fractionScale = _mm256_set1_pd(1.0 / kFractionCount);
  const __m256d oneD = _mm256_set1_pd(1.0);
  std::int32_t k = 0;
  for (; k + kLanes <= count; k += kLanes) {
    // Negative positions sample index 0 with fraction 0; indices stop at the last column.
    const __m256i p = _mm256_andnot_si256(_mm256_srai_epi32(u, 31), u);
    const __m256i ix = _mm256_min_epi32(_mm256_srli_epi32(p, kFractionBits), lastV);
    const __m256i ix1 = _mm256_min_epi32(_mm256_add_epi32(ix, one), lastV);
    const __m256i fx = _mm256_and_si256(p, fractionMask);
    const Neighbours n = LoadNeighbours(values, ix, ix1, last);
    const __m256d wxLo =
        _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(fx)), fractionScale);
    const __m256d wxHi =
        _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(fx, 1)), fractionScale);
    const __m256d wxcLo = _mm256_sub_pd(oneD, wxLo), wxcHi = _mm256_sub_pd(oneD, wxHi);
    _mm256_storeu_ps(out + k, Join(Mix(Low(n.left), wxcLo, Low(n.right), wxLo),
                                   Mix(High(n.left), wxcHi, High(n.right), wxHi)));
    u = _mm256_add_epi32(u, groupStep);
  }
  ScaleSourceRowScalar(out + k, count - k, row, last, uStart + static_cast<std::uint32_t>(k) * du,
                       du, fractions);
}

void ScaleCombineRowAvx2(Byte* dst, std::int32_t count, const float* top, const float* bottom,
                         float wy, float wyc, const ScaleCombine& combine) {
  WithScaleMode(combine.mode, [&](auto mode) {
    CombineRow<decltype(mode)::value>(dst, count, top, bottom, wy, wyc, combine);
  });
}

}  // namespace morvex::mask
