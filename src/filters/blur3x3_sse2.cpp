// Blur3x3 row kernel, SSE2: four pixels per step in 16-bit lanes.
#include "filters/blur3x3.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace morvex::filters {
namespace {

// Column sums above + 2*row + below of two pixels (eight 16-bit channels).
inline __m128i ColumnSums(__m128i a, __m128i m, __m128i b) {
  return _mm_add_epi16(_mm_add_epi16(a, b), _mm_add_epi16(m, m));
}

// The two pixels straddling a and b: the high pixel of a, the low pixel of b.
inline __m128i Straddle(__m128i a, __m128i b) {
  return _mm_castpd_si128(_mm_shuffle_pd(_mm_castsi128_pd(a), _mm_castsi128_pd(b), 1));
}

// left + 2*centre + right, then /16.
inline __m128i Finish(__m128i left, __m128i centre, __m128i right) {
  const __m128i sum = _mm_add_epi16(_mm_add_epi16(left, right), _mm_add_epi16(centre, centre));
  return _mm_srli_epi16(sum, 4);
}

}  // namespace

void Blur3x3RowSse2(Byte* dst, const Byte* above, const Byte* row, const Byte* below,
                    std::int32_t width) {
  if (width <= 0) return;
  Blur3x3Pixel(dst, above, row, below, 0, width);
  std::int32_t x = 1;
  // A step writes pixels x .. x+3 and reads up to pixel x+4 of each row.
  if (width >= 6) {
    const __m128i zero = _mm_setzero_si128();
    // Column sums of pixels x-1, x, carried from step to step.
    __m128i previous = ColumnSums(
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(above)), zero),
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row)), zero),
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(below)), zero));
    for (; x <= width - 5; x += 4) {
      const std::size_t next = 4 * (static_cast<std::size_t>(x) + 1);  // pixels x+1 .. x+4
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + next));
      const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + next));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(below + next));
      const __m128i s12 = ColumnSums(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(m, zero),
                                     _mm_unpacklo_epi8(b, zero));  // pixels x+1, x+2
      const __m128i s34 = ColumnSums(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(m, zero),
                                     _mm_unpackhi_epi8(b, zero));  // pixels x+3, x+4
      const __m128i s01 = Straddle(previous, s12);                 // pixels x, x+1
      const __m128i s23 = Straddle(s12, s34);                      // pixels x+2, x+3
      const __m128i lo = Finish(previous, s01, s12);
      const __m128i hi = Finish(s12, s23, s34);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * static_cast<std::size_t>(x)),
                       _mm_packus_epi16(lo, hi));
      previous = s34;
    }
  }
  for (; x < width; ++x) Blur3x3Pixel(dst, above, row, below, x, width);
}

}  // namespace morvex::filters

#endif
