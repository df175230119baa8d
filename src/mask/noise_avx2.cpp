// Noise rows, eight generator states in parallel (each eight steps ahead of
// the previous group), written in sequential order.
#include <immintrin.h>

#include "mask/noise.h"

namespace morvex::mask {

std::uint32_t NoiseRowAvx2(Byte* dst, std::int32_t count, const float* levels,
                           std::uint32_t state) {
  constexpr int kLanes = 8;
  if (count < kLanes) return NoiseRowScalar(dst, count, levels, state);
  constexpr NoiseJump jump = NoiseJumpOf(kLanes);
  alignas(32) std::uint32_t lanes[kLanes];
  std::uint32_t s = state;
  for (int k = 0; k < kLanes; ++k) lanes[k] = s = NoiseStep(s);
  __m256i states = _mm256_load_si256(reinterpret_cast<const __m256i*>(lanes));
  const __m256i multiplier = _mm256_set1_epi32(static_cast<int>(jump.multiplier));
  const __m256i increment = _mm256_set1_epi32(static_cast<int>(jump.increment));
  const __m256i indexMask = _mm256_set1_epi32(kNoiseLevelCount - 1);
  __m256i written = states;
  std::int32_t x = 0;
  for (; x + kLanes <= count; x += kLanes) {
    // Table lookups from an index store beat a gather here.
    alignas(32) std::uint32_t index[kLanes];
    _mm256_store_si256(reinterpret_cast<__m256i*>(index),
                       _mm256_and_si256(_mm256_srli_epi32(states, 16), indexMask));
    _mm256_storeu_ps(reinterpret_cast<float*>(dst + ElementOffset(x, 4)),
                     _mm256_setr_ps(levels[index[0]], levels[index[1]], levels[index[2]],
                                    levels[index[3]], levels[index[4]], levels[index[5]],
                                    levels[index[6]], levels[index[7]]));
    written = states;
    states = _mm256_add_epi32(_mm256_mullo_epi32(states, multiplier), increment);
  }
  state = static_cast<std::uint32_t>(_mm256_extract_epi32(written, 7));
  return NoiseRowScalar(dst + ElementOffset(x, 4), count - x, levels, state);
}

}  // namespace morvex::mask
