// AVX-512 row kernel of ConvertARGBToARGBFloat: sixteen pixels per step, the
// last group of a row through lane masks.
//
// The streaming form writes whole 64-byte lines with non-temporal stores:
// the float plane is four times the size of its source, and a plain store
// first reads every destination line it is about to overwrite. Pixels before
// the first 64-byte boundary of a row get plain stores; the callers of the
// streaming kernels guarantee 16-byte aligned destinations, so that boundary
// is at most three pixels in.
#include "frame/simd/avx512_intrinsics.h"  // first

#include "pixel/conversion.h"

namespace morvex::pixel {
namespace {

// Four pixels (16 bytes) as sixteen floats.
inline __m512 ToFloats(__m128i bytes) { return _mm512_cvtepi32_ps(_mm512_maskz_cvtepu8_epi32(0xFFFF, bytes)); }
inline __m128i LoadQuad(const Byte* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

template <bool kStream>
inline void StoreFloats(Byte* p, __m512 v) {
  if constexpr (kStream)
    _mm512_stream_ps(reinterpret_cast<float*>(p), v);
  else
    _mm512_storeu_ps(p, v);
}

}  // namespace

template <bool kStream>
void ArgbToArgbFloatRowAvx512(Byte* dst, const Byte* src, std::int32_t width) {
  std::int32_t x = 0;
  if constexpr (kStream) {
    for (; x < width && (reinterpret_cast<std::uintptr_t>(dst + ElementOffset(x, kArgbFloatImageBytes)) & 63u) != 0; ++x)
      ArgbToArgbFloatPixel(dst + ElementOffset(x, kArgbFloatImageBytes), src + ElementOffset(x, kArgbImageBytes));
  }
  for (; x + 16 <= width; x += 16) {
    const Byte* in = src + ElementOffset(x, kArgbImageBytes);
    Byte* out = dst + ElementOffset(x, kArgbFloatImageBytes);
    for (int k = 0; k < 4; ++k) StoreFloats<kStream>(out + 64 * k, ToFloats(LoadQuad(in + 16 * k)));
  }
  for (; x < width; x += 4) {
    const std::int32_t n = width - x < 4 ? width - x : 4;
    const __m128i bytes = _mm_maskz_loadu_epi32(static_cast<__mmask8>((1u << n) - 1u), src + ElementOffset(x, kArgbImageBytes));
    _mm512_mask_storeu_ps(dst + ElementOffset(x, kArgbFloatImageBytes), static_cast<__mmask16>((1u << (4 * n)) - 1u),
                          ToFloats(bytes));
  }
}

template void ArgbToArgbFloatRowAvx512<false>(Byte*, const Byte*, std::int32_t);
template void ArgbToArgbFloatRowAvx512<true>(Byte*, const Byte*, std::int32_t);

}  // namespace morvex::pixel
