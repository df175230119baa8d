// Blur3x3 row kernel, AVX2: eight pixels per step in 16-bit lanes.
#include "filters/blur3x3.h"

#if defined(__SSE2__)
#include <immintrin.h>

namespace morvex::filters {
namespace {

inline __m256i Load(const Byte* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// Column sums above + 2*row + below of 32 bytes, as the 16-bit sums of their
// low and high halves in each 128-bit lane.
struct ColumnSums {
  __m256i lo, hi;
};
inline ColumnSums Sums(const Byte* above, const Byte* row, const Byte* below, std::size_t at) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i oneTwo = _mm256_set1_epi16(0x0201);  // byte weights 1 (above), 2 (row)
  const __m256i a = Load(above + at), m = Load(row + at), b = Load(below + at);
  return {_mm256_add_epi16(_mm256_maddubs_epi16(_mm256_unpacklo_epi8(a, m), oneTwo),
                           _mm256_unpacklo_epi8(b, zero)),
          _mm256_add_epi16(_mm256_maddubs_epi16(_mm256_unpackhi_epi8(a, m), oneTwo),
                           _mm256_unpackhi_epi8(b, zero))};
}

// Per 128-bit lane: the high pixel of a followed by the low pixel of b.
inline __m256i Straddle(__m256i a, __m256i b) {
  return _mm256_castpd_si256(
      _mm256_shuffle_pd(_mm256_castsi256_pd(a), _mm256_castsi256_pd(b), 0x5));
}

inline __m256i Finish(__m256i left, __m256i centre, __m256i right) {
  const __m256i sum =
      _mm256_add_epi16(_mm256_add_epi16(left, right), _mm256_add_epi16(centre, centre));
  return _mm256_srli_epi16(sum, 4);
}

// Output pixels x .. x+7 from their column sums. In 16-bit lanes pixel pairs
// sit as [lane 0 | lane 1]:
//   outer  = [x-2 x-1 | x+2 x+3]   first  = [x   x+1 | x+4 x+5]
//   second = [x+2 x+3 | x+6 x+7]   beyond = [x+4 x+5 | x+8 x+9]
inline void Store8(Byte* out, __m256i outer, __m256i first, __m256i second, __m256i beyond) {
  const __m256i between = Straddle(first, second);  // [x+1 x+2 | x+5 x+6]
  const __m256i lo = Finish(Straddle(outer, first), first, between);
  const __m256i hi = Finish(between, second, Straddle(second, beyond));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_packus_epi16(lo, hi));
}

}  // namespace

void Blur3x3RowAvx2(Byte* dst, const Byte* above, const Byte* row, const Byte* below,
                    std::int32_t width) {
  std::int32_t x = 0;
  for (; x < 2 && x < width; ++x) Blur3x3Pixel(dst, above, row, below, x, width);
  // Steps of eight pixels read pixels x-2 .. x+9. The main loop carries the
  // column sums of one step into the next and reads ahead to pixel x+15.
  if (x <= width - 16) {
    ColumnSums current = Sums(above, row, below, 4 * static_cast<std::size_t>(x));
    __m256i outer = Sums(above, row, below, 4 * static_cast<std::size_t>(x) - 8).lo;
    for (; x <= width - 16; x += 8) {
      const std::size_t at = 4 * static_cast<std::size_t>(x);
      const ColumnSums next = Sums(above, row, below, at + 32);
      Store8(dst + at, outer, current.lo, current.hi,
             _mm256_permute2x128_si256(current.lo, next.lo, 0x21));
      outer = _mm256_permute2x128_si256(current.hi, next.hi, 0x21);
      current = next;
    }
  }
  for (; x <= width - 10; x += 8) {
    const std::size_t at = 4 * static_cast<std::size_t>(x);
    const ColumnSums head = Sums(above, row, below, at - 8);  // pixels x-2 .. x+5
    const ColumnSums tail = Sums(above, row, below, at + 8);  // pixels x+2 .. x+9
    Store8(dst + at, head.lo, head.hi, tail.lo, tail.hi);
  }
  for (; x < width; ++x) Blur3x3Pixel(dst, above, row, below, x, width);
}

}  // namespace morvex::filters

#endif
