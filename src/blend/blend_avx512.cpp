// Blend kernels for AVX-512: sixteen pixels per step; the weight table is read
// with gathers.
#include "blend/simd_avx512.h"  // first: see the note there
#include "blend/blend_kernels.h"

namespace morvex::blend {
namespace {

// Byte c of weightLut entry mask.c for sixteen pixels: one gather of whole
// entries per channel (offsets entry * 4, inside the 1024-byte table), then
// the wanted byte of each.
struct LutWeightsGather {
  template <class Io>
  static MORVEX_PIXEL_INLINE __m512i Get(const Io& io, const Byte* mask, const Byte* weightLut) {
    const __m512i m = io.Load(mask);
    const __m512i low = _mm512_set1_epi32(0xFF), zero = _mm512_setzero_si512();
    const auto gather = [&](__m512i index) {
      return _mm512_mask_i32gather_epi32(zero, 0xFFFF, index, weightLut, 4);
    };
    // Byte 1 or 2 of each pixel moved to byte 0, the other bytes zeroed.
    const auto control = [](unsigned byte) {
      return _mm512_set4_epi32(static_cast<int>(0x8080800Cu + byte),
                               static_cast<int>(0x80808008u + byte),
                               static_cast<int>(0x80808004u + byte),
                               static_cast<int>(0x80808000u + byte));
    };
    const __m512i byte1 = control(1), byte2 = control(2);
    const __m512i b = gather(_mm512_and_si512(m, low));
    const __m512i g = gather(_mm512_shuffle_epi8(m, byte1));
    const __m512i r = gather(_mm512_shuffle_epi8(m, byte2));
    // (b & 0xFF) | (g & 0xFF00) | (r & 0xFF0000), by bitwise selects.
    const __m512i bg = _mm512_ternarylogic_epi32(b, g, low, 0xE4);
    const __m512i bgr = _mm512_ternarylogic_epi32(bg, r, _mm512_set1_epi32(0xFFFF), 0xE4);
    return _mm512_and_si512(bgr, _mm512_set1_epi32(0xFFFFFF));
  }
};

}  // namespace

const BlendKernels kBlendKernelsAvx512 = MakeBlendKernels<avx512::Isa, LutWeightsGather>();

}  // namespace morvex::blend
