// Blend kernels for AVX2: eight pixels per step; the weight table is read with
// gathers.
#include "blend/blend_kernels.h"
#include "frame/simd/avx2.h"

namespace morvex::blend {
namespace {

// Byte c of weightLut entry mask.c for eight pixels: one gather of whole
// entries per channel (offsets entry * 4, so every read stays inside the
// 1024-byte table), then the wanted byte of each.
struct LutWeightsGather {
  const Byte* weightLut;
  MORVEX_INLINE LutWeightsGather(const Byte* lut, const WeightColumns*) : weightLut(lut) {}
  template <class Io>
  MORVEX_INLINE __m256i Get(const Io& io, const Byte* mask) const {
    const __m256i m = io.Load(mask);
    const __m256i low = _mm256_set1_epi32(0xFF);
    const int* table = reinterpret_cast<const int*>(weightLut);
    const __m256i b = _mm256_i32gather_epi32(table, _mm256_and_si256(m, low), 4);
    const __m256i g =
        _mm256_i32gather_epi32(table, _mm256_and_si256(_mm256_srli_epi32(m, 8), low), 4);
    const __m256i r =
        _mm256_i32gather_epi32(table, _mm256_and_si256(_mm256_srli_epi32(m, 16), low), 4);
    return _mm256_or_si256(
        _mm256_or_si256(_mm256_and_si256(b, low), _mm256_and_si256(g, _mm256_set1_epi32(0xFF00))),
        _mm256_and_si256(r, _mm256_set1_epi32(0xFF0000)));
  }
};

}  // namespace

constinit const BlendKernels kBlendKernelsAvx2 = MakeBlendKernels<simd::avx2::Isa, LutWeightsGather>();

}  // namespace morvex::blend
