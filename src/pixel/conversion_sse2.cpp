// SSE2 row kernels of the format conversions: four pixels per step, the
// remaining pixels through the per-element definitions.
//
// Back to bytes, cvtps2dq rounds in the MXCSR mode exactly as the scalar
// conversion does and gives 0x80000000 for values without an integer; the
// signed 32->16 and unsigned 16->8 saturating packs then clamp to 0..255,
// which maps that value to 0 like the scalar clamp.
#include <emmintrin.h>

#include "pixel/conversion.h"

namespace morvex::pixel {
namespace {

constexpr std::int32_t kGroup = 4;

inline __m128i LoadBytes(const Byte* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline __m128i RoundFloats(const Byte* p) {
  return _mm_cvtps_epi32(_mm_loadu_ps(reinterpret_cast<const float*>(p)));
}
// Streaming stores need 16-byte aligned addresses, which the callers of the
// streaming kernels guarantee for every group.
template <bool kStream>
inline void StoreBytes(Byte* p, __m128i v) {
  if constexpr (kStream)
    _mm_stream_si128(reinterpret_cast<__m128i*>(p), v);
  else
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

}  // namespace

void ArgbToArgbFloatRowSse2(Byte* dst, const Byte* src, std::int32_t width) {
  const __m128i zero = _mm_setzero_si128();
  std::int32_t x = 0;
  for (; x <= width - kGroup; x += kGroup) {
    const __m128i bytes = LoadBytes(src + ElementOffset(x, kArgbImageBytes));
    const __m128i low = _mm_unpacklo_epi8(bytes, zero);
    const __m128i high = _mm_unpackhi_epi8(bytes, zero);
    float* out = reinterpret_cast<float*>(dst + ElementOffset(x, kArgbFloatImageBytes));
    _mm_storeu_ps(out, _mm_cvtepi32_ps(_mm_unpacklo_epi16(low, zero)));
    _mm_storeu_ps(out + 4, _mm_cvtepi32_ps(_mm_unpackhi_epi16(low, zero)));
    _mm_storeu_ps(out + 8, _mm_cvtepi32_ps(_mm_unpacklo_epi16(high, zero)));
    _mm_storeu_ps(out + 12, _mm_cvtepi32_ps(_mm_unpackhi_epi16(high, zero)));
  }
  ArgbToArgbFloatRow(dst + ElementOffset(x, kArgbFloatImageBytes),
                     src + ElementOffset(x, kArgbImageBytes), width - x);
}

template <bool kStream>
void ArgbFloatToArgbRowSse2(Byte* dst, const Byte* src, std::int32_t width) {
  std::int32_t x = 0;
  for (; x <= width - kGroup; x += kGroup) {
    const Byte* in = src + ElementOffset(x, kArgbFloatImageBytes);
    const __m128i p0 = RoundFloats(in), p1 = RoundFloats(in + 16);
    const __m128i p2 = RoundFloats(in + 32), p3 = RoundFloats(in + 48);
    const __m128i words = _mm_packs_epi32(p0, p1);
    StoreBytes<kStream>(dst + ElementOffset(x, kArgbImageBytes),
                        _mm_packus_epi16(words, _mm_packs_epi32(p2, p3)));
  }
  ArgbFloatToArgbRow(dst + ElementOffset(x, kArgbImageBytes),
                     src + ElementOffset(x, kArgbFloatImageBytes), width - x);
}

template <bool kStream>
void FloatMaskToArgbRowSse2(Byte* dst, const Byte* src, std::int32_t width) {
  std::int32_t x = 0;
  for (; x <= width - kGroup; x += kGroup) {
    const __m128i values = RoundFloats(src + ElementOffset(x, kFloatMaskBytes));
    const __m128i words = _mm_packs_epi32(values, values);
    const __m128i bytes = _mm_packus_epi16(words, words);  // v0 v1 v2 v3 in the low word
    const __m128i pairs = _mm_unpacklo_epi8(bytes, bytes);
    StoreBytes<kStream>(dst + ElementOffset(x, kArgbImageBytes), _mm_unpacklo_epi16(pairs, pairs));
  }
  FloatMaskToArgbRow(dst + ElementOffset(x, kArgbImageBytes),
                     src + ElementOffset(x, kFloatMaskBytes), width - x);
}

template void ArgbFloatToArgbRowSse2<false>(Byte*, const Byte*, std::int32_t);
template void ArgbFloatToArgbRowSse2<true>(Byte*, const Byte*, std::int32_t);
template void FloatMaskToArgbRowSse2<false>(Byte*, const Byte*, std::int32_t);
template void FloatMaskToArgbRowSse2<true>(Byte*, const Byte*, std::int32_t);

void FinishStreamingStores() { _mm_sfence(); }

}  // namespace morvex::pixel
