// Shear kernels, eight pixels per step, with the same 16-bit formulation as
// the SSE2 kernels (see there).
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
                        std::int32_t firstLine, const ShearColumns& columns, std::int32_t count) {
  const std::int32_t last = src.height - 1;
  std::int32_t k = 0;
  for (; k + 8 <= count; k += 8) {
    const std::int32_t line = firstLine + k;
    const __m256i start = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(columns.start + k));
    __m256i p, q;
    if (line <= src.width - 8) {
      // Lines with the same shift read the same two source rows: one load
      // of eight neighbouring pixels per distinct shift.
      const std::ptrdiff_t column = ElementOffset(line, 4);
      p = q = _mm256_setzero_si256();
      int pending = 0xFF & ~_mm256_movemask_ps(_mm256_castsi256_ps(
                              _mm256_cmpeq_epi32(start, _mm256_set1_epi32(columns.start[k]))));
      if (pending == 0) {
        // One shift for all eight lines (the usual case for small factors).
        const std::int64_t t = static_cast<std::int64_t>(r) + columns.start[k];
        p = _mm256_loadu_si256(
            reinterpret_cast<const __m256i*>(src.Row(ClampPosition(t, last)) + column));
        q = _mm256_loadu_si256(
            reinterpret_cast<const __m256i*>(src.Row(ClampPosition(t + 1, last)) + column));
      } else {
        pending = 0xFF;
      }
      while (pending != 0) {
        const std::int32_t shift = columns.start[k + __builtin_ctz(static_cast<unsigned>(pending))];
        const __m256i same = _mm256_cmpeq_epi32(start, _mm256_set1_epi32(shift));
        const std::int64_t t = static_cast<std::int64_t>(r) + shift;
        const __m256i a = _mm256_loadu_si256(
            reinterpret_cast<const __m256i*>(src.Row(ClampPosition(t, last)) + column));
        const __m256i b = _mm256_loadu_si256(
            reinterpret_cast<const __m256i*>(src.Row(ClampPosition(t + 1, last)) + column));
        p = _mm256_blendv_epi8(p, a, same);
        q = _mm256_blendv_epi8(q, b, same);
        pending &= ~_mm256_movemask_ps(_mm256_castsi256_ps(same));
      }
    } else {
      alignas(32) std::uint32_t ps[8], qs[8];
      for (int lane = 0; lane < 8; ++lane)
        ShearColumnPixels(src, r, line + lane, columns.start[k + lane], ps[lane], qs[lane]);
      p = _mm256_load_si256(reinterpret_cast<const __m256i*>(ps));
      q = _mm256_load_si256(reinterpret_cast<const __m256i*>(qs));
    }
    const __m256i wp = _mm256_cvtepu16_epi32(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(columns.wp + k)));
    const __m256i w2 = _mm256_or_si256(wp, _mm256_slli_epi32(wp, 16));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + ElementOffset(k, 4)),
                        LerpPixels(p, q, _mm256_unpacklo_epi32(w2, w2),
                                   _mm256_unpackhi_epi32(w2, w2)));
  }
  const ShearColumns rest{columns.start + k, columns.wp + k};
  ShearColumnRowSse2(dst + ElementOffset(k, 4), src, r, firstLine + k, rest, count - k);
}

}  // namespace morvex::mask
