// Shear kernels, eight pixels per step, with the same 16-bit formulation as
// the SSE2 kernels (see there). Vertical lines gather their two source
// pixels per column with 64-bit offsets.
#include <immintrin.h>

#include "mask/shear.h"

namespace morvex::mask {
namespace {

inline __m256i LerpWords(__m256i p, __m256i q, __m256i w) {
  const __m256i x = _mm256_slli_epi16(_mm256_sub_epi16(p, q), 4);
  const __m256i high = _mm256_mulhi_epi16(x, w);
  const __m256i low = _mm256_srli_epi16(_mm256_mullo_epi16(x, w), 15);
  return _mm256_add_epi16(q, _mm256_add_epi16(high, low));
}

// Eight pixels; per 128-bit half, wLow weighs its pixels 0 and 1 and wHigh
// its pixels 2 and 3.
inline __m256i LerpPixels(__m256i p, __m256i q, __m256i wLow, __m256i wHigh) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i low =
      LerpWords(_mm256_unpacklo_epi8(p, zero), _mm256_unpacklo_epi8(q, zero), wLow);
  const __m256i high =
      LerpWords(_mm256_unpackhi_epi8(p, zero), _mm256_unpackhi_epi8(q, zero), wHigh);
  return _mm256_packus_epi16(low, high);
}

// Four pixels of the view at (row index, column index) lanes, 64-bit offsets.
inline __m128i GatherPixels(const Byte* firstRow, __m128i rows, __m128i columns, __m256i rowStep) {
  const __m256i offsets =
      _mm256_add_epi64(_mm256_mul_epi32(_mm256_cvtepi32_epi64(rows), rowStep),
                       _mm256_slli_epi64(_mm256_cvtepi32_epi64(columns), 2));
  return _mm256_i64gather_epi32(reinterpret_cast<const int*>(firstRow), offsets, 1);
}

inline __m256i Join(__m128i low, __m128i high) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}

}  // namespace

void ShearLerpRowAvx2(Byte* dst, const Byte* a, const Byte* b, std::int32_t count,
                      std::int32_t wp, std::int32_t wq) {
  const __m256i w = _mm256_set1_epi16(static_cast<short>(wp));
  std::int32_t x = 0;
  for (; x + 8 <= count; x += 8) {
    const std::ptrdiff_t at = ElementOffset(x, 4);
    const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + at));
    const __m256i q = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + at));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + at), LerpPixels(p, q, w, w));
  }
  const std::ptrdiff_t at = ElementOffset(x, 4);
  ShearLerpRowSse2(dst + at, a + at, b + at, count - x, wp, wq);
}

void ShearColumnRowAvx2(Byte* dst, const PlaneView<const Byte>& src, std::int32_t r,
                        const ShearColumns& columns, std::int32_t count) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i last = _mm256_set1_epi32(src.height - 1);
  const __m256i row = _mm256_set1_epi32(r);
  const __m256i one = _mm256_set1_epi32(1);
  const __m256i rowStep = _mm256_set1_epi64x(src.rowStep);
  std::int32_t k = 0;
  for (; k + 8 <= count; k += 8) {
    const __m256i t = _mm256_add_epi32(
        row, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(columns.start + k)));
    const __m256i ta = _mm256_min_epi32(_mm256_max_epi32(t, zero), last);
    const __m256i tb = _mm256_min_epi32(_mm256_max_epi32(_mm256_add_epi32(t, one), zero), last);
    const __m256i column =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(columns.column + k));
    const __m128i columnLow = _mm256_castsi256_si128(column);
    const __m128i columnHigh = _mm256_extracti128_si256(column, 1);
    const __m256i p =
        Join(GatherPixels(src.firstRow, _mm256_castsi256_si128(ta), columnLow, rowStep),
             GatherPixels(src.firstRow, _mm256_extracti128_si256(ta, 1), columnHigh, rowStep));
    const __m256i q =
        Join(GatherPixels(src.firstRow, _mm256_castsi256_si128(tb), columnLow, rowStep),
             GatherPixels(src.firstRow, _mm256_extracti128_si256(tb, 1), columnHigh, rowStep));
    const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(columns.wp + k));
    const __m256i w2 = _mm256_or_si256(w, _mm256_slli_epi32(w, 16));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + ElementOffset(k, 4)),
                        LerpPixels(p, q, _mm256_unpacklo_epi32(w2, w2),
                                   _mm256_unpackhi_epi32(w2, w2)));
  }
  const ShearColumns rest{columns.start + k, columns.wp + k, columns.column + k};
  ShearColumnRowSse2(dst + ElementOffset(k, 4), src, r, rest, count - k);
}

}  // namespace morvex::mask
