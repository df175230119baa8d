// Noise rows, four generator states in parallel (each four steps ahead of
// the previous group), written in sequential order.
#include <emmintrin.h>

#include "mask/noise.h"

namespace morvex::mask {
namespace {

// Lane-wise 32-bit product modulo 2^32 (SSE2 has only the widening multiply).
inline __m128i MulLow32(__m128i a, __m128i b) {
  const __m128i even = _mm_mul_epu32(a, b);
  const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
  return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                            _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
}

}  // namespace

std::uint32_t NoiseRowSse2(Byte* dst, std::int32_t count, const float* levels,
                           std::uint32_t state) {
  constexpr int kLanes = 4;
  if (count < kLanes) return NoiseRowScalar(dst, count, levels, state);
  constexpr NoiseJump jump = NoiseJumpOf(kLanes);
  alignas(16) std::uint32_t lanes[kLanes];
  std::uint32_t s = state;
  for (int k = 0; k < kLanes; ++k) lanes[k] = s = NoiseStep(s);
  __m128i states = _mm_load_si128(reinterpret_cast<const __m128i*>(lanes));
  const __m128i multiplier = _mm_set1_epi32(static_cast<int>(jump.multiplier));
  const __m128i increment = _mm_set1_epi32(static_cast<int>(jump.increment));
  const __m128i indexMask = _mm_set1_epi32(kNoiseLevelCount - 1);
  std::int32_t x = 0;
  for (; x + kLanes <= count; x += kLanes) {
    alignas(16) std::uint32_t index[kLanes];
    _mm_store_si128(reinterpret_cast<__m128i*>(index),
                    _mm_and_si128(_mm_srli_epi32(states, 16), indexMask));
    const __m128 values = _mm_setr_ps(levels[index[0]], levels[index[1]], levels[index[2]],
                                      levels[index[3]]);
    _mm_storeu_ps(reinterpret_cast<float*>(dst + ElementOffset(x, 4)), values);
    state = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(states, 3)));
    states = _mm_add_epi32(MulLow32(states, multiplier), increment);
  }
  return NoiseRowScalar(dst + ElementOffset(x, 4), count - x, levels, state);
}

}  // namespace morvex::mask
