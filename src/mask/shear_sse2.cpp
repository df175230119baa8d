// Shear kernels, four pixels per step. Per byte, LerpPixel(p, q, wp, wq)
// equals q + floor(((p - q) * wp + 2048) / 4096) because wp + wq = 4096; with
// x = (p - q) * 16 the floor is the high half of x * wp plus the top bit of
// its low half, which 16-bit multiplies give exactly.
#include <emmintrin.h>

#include "mask/shear.h"

namespace morvex::mask {
namespace {

// Eight 16-bit lanes of p and q bytes, with per-lane weights.
inline __m128i LerpWords(__m128i p, __m128i q, __m128i w) {
  const __m128i x = _mm_slli_epi16(_mm_sub_epi16(p, q), 4);
  const __m128i high = _mm_mulhi_epi16(x, w);
  const __m128i low = _mm_srli_epi16(_mm_mullo_epi16(x, w), 15);
  return _mm_add_epi16(q, _mm_add_epi16(high, low));
}

// Four pixels; wLow holds the weights of pixels 0 and 1 in their byte lanes,
// wHigh those of pixels 2 and 3.
inline __m128i LerpPixels(__m128i p, __m128i q, __m128i wLow, __m128i wHigh) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i low = LerpWords(_mm_unpacklo_epi8(p, zero), _mm_unpacklo_epi8(q, zero), wLow);
  const __m128i high = LerpWords(_mm_unpackhi_epi8(p, zero), _mm_unpackhi_epi8(q, zero), wHigh);
  return _mm_packus_epi16(low, high);
}

}  // namespace

void ShearLerpRowSse2(Byte* dst, const Byte* a, const Byte* b, std::int32_t count,
                      std::int32_t wp, std::int32_t wq) {
  const __m128i w = _mm_set1_epi16(static_cast<short>(wp));
  std::int32_t x = 0;
  for (; x + 4 <= count; x += 4) {
    const std::ptrdiff_t at = ElementOffset(x, 4);
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + at));
    const __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + at));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + at), LerpPixels(p, q, w, w));
  }
  const std::ptrdiff_t at = ElementOffset(x, 4);
  ShearLerpRowScalar(dst + at, a + at, b + at, count - x, wp, wq);
}

void ShearColumnRowSse2(Byte* dst, const PlaneView<const Byte>& src, std::int32_t r,
                        std::int32_t firstLine, const ShearColumns& columns, std::int32_t count) {
  const std::int32_t last = src.height - 1;
  std::int32_t k = 0;
  for (; k + 4 <= count; k += 4) {
    const std::int32_t line = firstLine + k;
    const __m128i start = _mm_loadu_si128(reinterpret_cast<const __m128i*>(columns.start + k));
    __m128i p, q;
    if (line <= src.width - 4) {
      // Lines with the same shift read the same two source rows: one load
      // of four neighbouring pixels per distinct shift.
      const std::ptrdiff_t column = ElementOffset(line, 4);
      p = q = _mm_setzero_si128();
      int pending = 0xF & ~_mm_movemask_ps(
                              _mm_castsi128_ps(_mm_cmpeq_epi32(start, _mm_set1_epi32(columns.start[k]))));
      if (pending == 0) {
        // One shift for all four lines (the usual case for small factors).
        const std::int64_t t = static_cast<std::int64_t>(r) + columns.start[k];
        p = _mm_loadu_si128(
            reinterpret_cast<const __m128i*>(src.Row(ClampPosition(t, last)) + column));
        q = _mm_loadu_si128(
            reinterpret_cast<const __m128i*>(src.Row(ClampPosition(t + 1, last)) + column));
      } else {
        pending = 0xF;
      }
      while (pending != 0) {
        const std::int32_t shift = columns.start[k + __builtin_ctz(static_cast<unsigned>(pending))];
        const __m128i same = _mm_cmpeq_epi32(start, _mm_set1_epi32(shift));
        const std::int64_t t = static_cast<std::int64_t>(r) + shift;
        const __m128i a = _mm_loadu_si128(
            reinterpret_cast<const __m128i*>(src.Row(ClampPosition(t, last)) + column));
        const __m128i b = _mm_loadu_si128(
            reinterpret_cast<const __m128i*>(src.Row(ClampPosition(t + 1, last)) + column));
        p = _mm_or_si128(_mm_and_si128(same, a), _mm_andnot_si128(same, p));
        q = _mm_or_si128(_mm_and_si128(same, b), _mm_andnot_si128(same, q));
        pending &= ~_mm_movemask_ps(_mm_castsi128_ps(same));
      }
    } else {
      alignas(16) std::uint32_t ps[4], qs[4];
      for (int lane = 0; lane < 4; ++lane)
        ShearColumnPixels(src, r, line + lane, columns.start[k + lane], ps[lane], qs[lane]);
      p = _mm_load_si128(reinterpret_cast<const __m128i*>(ps));
      q = _mm_load_si128(reinterpret_cast<const __m128i*>(qs));
    }
    // Each pixel's weight in both 16-bit halves of its lane, then spread
    // over the four byte lanes of its pixel.
    const __m128i wp = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(columns.wp + k));
    const __m128i w2 = _mm_unpacklo_epi16(wp, wp);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + ElementOffset(k, 4)),
                     LerpPixels(p, q, _mm_unpacklo_epi32(w2, w2), _mm_unpackhi_epi32(w2, w2)));
  }
  const ShearColumns rest{columns.start + k, columns.wp + k};
  ShearColumnRowScalar(dst + ElementOffset(k, 4), src, r, firstLine + k, rest, count - k);
}

}  // namespace morvex::mask
