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

namespace {

// The low two lanes of ShearLineOf's floor(s) and fraction for the low two
// 32-bit lines, with s limited to kShearVectorShift.
inline void WholeAndFraction(__m128i lines, __m128d factor, __m128i& whole, __m128i& fraction) {
  const __m128d sign = _mm_set1_pd(-0.0);
  __m128d s = _mm_andnot_pd(sign, _mm_mul_pd(_mm_cvtepi32_pd(lines), factor));
  s = _mm_and_pd(s, _mm_cmpeq_pd(s, s));  // NaN: no shift
  s = _mm_min_pd(s, _mm_set1_pd(kShearVectorShift));
  whole = _mm_cvttpd_epi32(s);  // truncation is the floor of s >= 0
  fraction = _mm_cvttpd_epi32(_mm_mul_pd(_mm_sub_pd(s, _mm_cvtepi32_pd(whole)), _mm_set1_pd(4096.0)));
}

}  // namespace

void ShearColumnRowSse2(Byte* dst, const PlaneView<const Byte>& src, std::int32_t r,
                        std::int32_t firstLine, std::int32_t count, double factor) {
  const std::int32_t last = src.height - 1;
  const __m128d factorV = _mm_set1_pd(factor);
  const bool away = factor >= 0.0;
  std::int32_t k = 0;
  for (; k + 4 <= count; k += 4) {
    const std::int32_t line = firstLine + k;
    const __m128i lines = _mm_add_epi32(_mm_set1_epi32(line), _mm_setr_epi32(0, 1, 2, 3));
    __m128i wholeLo, wholeHi, fractionLo, fractionHi;
    WholeAndFraction(lines, factorV, wholeLo, fractionLo);
    WholeAndFraction(_mm_shuffle_epi32(lines, _MM_SHUFFLE(1, 0, 3, 2)), factorV, wholeHi, fractionHi);
    const __m128i whole = _mm_unpacklo_epi64(wholeLo, wholeHi);
    const __m128i fraction = _mm_unpacklo_epi64(fractionLo, fractionHi);
    // start = -n - 1 and wp = fr when the content moves away from position 0;
    // start = n and wp = 4096 - fr otherwise.
    const __m128i start = away ? _mm_xor_si128(whole, _mm_set1_epi32(-1)) : whole;
    const __m128i wp = away ? fraction : _mm_sub_epi32(_mm_set1_epi32(4096), fraction);
    alignas(16) std::int32_t starts[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(starts), start);

    __m128i p = _mm_setzero_si128(), q = _mm_setzero_si128();
    if (line <= src.width - 4) {
      // Lines with the same shift read the same two source rows: one load
      // of four neighbouring pixels per distinct shift.
      const std::ptrdiff_t column = ElementOffset(line, 4);
      int pending = 0xF;
      while (pending != 0) {
        const std::int32_t shift = starts[__builtin_ctz(static_cast<unsigned>(pending))];
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
      for (int lane = 0; lane < 4; ++lane) {
        const std::int64_t t = static_cast<std::int64_t>(r) + starts[lane];
        const std::int32_t c = line + lane < src.width ? line + lane : src.width - 1;
        ps[lane] = LoadU32(src.Row(ClampPosition(t, last)) + ElementOffset(c, 4));
        qs[lane] = LoadU32(src.Row(ClampPosition(t + 1, last)) + ElementOffset(c, 4));
      }
      p = _mm_load_si128(reinterpret_cast<const __m128i*>(ps));
      q = _mm_load_si128(reinterpret_cast<const __m128i*>(qs));
    }
    // Each pixel's weight in both 16-bit halves of its lane, then spread
    // over the four byte lanes of its pixel.
    const __m128i w2 = _mm_or_si128(wp, _mm_slli_epi32(wp, 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + ElementOffset(k, 4)),
                     LerpPixels(p, q, _mm_unpacklo_epi32(w2, w2), _mm_unpackhi_epi32(w2, w2)));
  }
  ShearColumnRowScalar(dst + ElementOffset(k, 4), src, r, firstLine + k, count - k, factor);
}

}  // namespace morvex::mask
