// AVX2 row kernels of the format conversions: eight pixels per step, the
// remaining pixels through the per-element definitions. The rounding back to
// bytes is the SSE2 kernels' (cvtps2dq in the MXCSR mode, then saturating
// packs), on twice the width.
#include <immintrin.h>

#include "pixel/conversion.h"

namespace morvex::pixel {
namespace {

constexpr std::int32_t kGroup = 8;

inline __m256i RoundFloats(const Byte* p) {
  return _mm256_cvtps_epi32(_mm256_loadu_ps(reinterpret_cast<const float*>(p)));
}
// Streaming stores go out as two 16-byte halves: the callers of the
// streaming kernels guarantee 16-byte alignment, not 32.
template <bool kStream>
inline void StoreBytes(Byte* p, __m256i v) {
  if constexpr (kStream) {
    _mm_stream_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(v));
    _mm_stream_si128(reinterpret_cast<__m128i*>(p + 16), _mm256_extracti128_si256(v, 1));
  } else {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
  }
}

}  // namespace

void ArgbToArgbFloatRowAvx2(Byte* dst, const Byte* src, std::int32_t width) {
  std::int32_t x = 0;
  for (; x <= width - kGroup; x += kGroup) {
    const Byte* in = src + ElementOffset(x, kArgbImageBytes);
    float* out = reinterpret_cast<float*>(dst + ElementOffset(x, kArgbFloatImageBytes));
    for (int pair = 0; pair < 4; ++pair) {  // two pixels, eight bytes, at a time
      const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + 8 * pair));
      _mm256_storeu_ps(out + 8 * pair, _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(bytes)));
    }
  }
  ArgbToArgbFloatRow(dst + ElementOffset(x, kArgbFloatImageBytes),
                     src + ElementOffset(x, kArgbImageBytes), width - x);
}

template <bool kStream>
void ArgbFloatToArgbRowAvx2(Byte* dst, const Byte* src, std::int32_t width) {
  // The in-lane packs leave the pixels in the order 0 2 4 6 1 3 5 7.
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  std::int32_t x = 0;
  for (; x <= width - kGroup; x += kGroup) {
    const Byte* in = src + ElementOffset(x, kArgbFloatImageBytes);
    const __m256i p01 = RoundFloats(in), p23 = RoundFloats(in + 32);
    const __m256i p45 = RoundFloats(in + 64), p67 = RoundFloats(in + 96);
    const __m256i bytes =
        _mm256_packus_epi16(_mm256_packs_epi32(p01, p23), _mm256_packs_epi32(p45, p67));
    StoreBytes<kStream>(dst + ElementOffset(x, kArgbImageBytes),
                        _mm256_permutevar8x32_epi32(bytes, order));
  }
  ArgbFloatToArgbRow(dst + ElementOffset(x, kArgbImageBytes),
                     src + ElementOffset(x, kArgbFloatImageBytes), width - x);
}

template <bool kStream>
void FloatMaskToArgbRowAvx2(Byte* dst, const Byte* src, std::int32_t width) {
  std::int32_t x = 0;
  for (; x <= width - kGroup; x += kGroup) {
    const __m256i values = RoundFloats(src + ElementOffset(x, kFloatMaskBytes));
    const __m256i words = _mm256_packs_epi32(values, values);
    const __m256i bytes = _mm256_packus_epi16(words, words);  // four values per lane, low word
    const __m256i pairs = _mm256_unpacklo_epi8(bytes, bytes);
    StoreBytes<kStream>(dst + ElementOffset(x, kArgbImageBytes), _mm256_unpacklo_epi16(pairs, pairs));
  }
  FloatMaskToArgbRow(dst + ElementOffset(x, kArgbImageBytes),
                     src + ElementOffset(x, kFloatMaskBytes), width - x);
}

template void ArgbFloatToArgbRowAvx2<false>(Byte*, const Byte*, std::int32_t);
template void ArgbFloatToArgbRowAvx2<true>(Byte*, const Byte*, std::int32_t);
template void FloatMaskToArgbRowAvx2<false>(Byte*, const Byte*, std::int32_t);
template void FloatMaskToArgbRowAvx2<true>(Byte*, const Byte*, std::int32_t);

}  // namespace morvex::pixel
