// Luminance of eight pixels at once with AVX2. Include only from *_avx2.cpp
// files, so every copy of these inline functions is built for the same
// instruction set.
#pragma once

#include <immintrin.h>

#include "tone/luminance.h"

namespace morvex::tone {

// The eight-pixel form of Luminance4 (see luminance_sse2.h for the split of
// green's weight); every step stays within its 128-bit half, so lanes keep
// pixel order.
inline __m256i Luminance8(__m256i pixels) {
  constexpr std::int32_t wb = kLuminanceWeights.blue, wr = kLuminanceWeights.red;
  constexpr std::int32_t wg = kLuminanceWeights.green - 65536;
  static_assert(wg >= -32768 && wr <= 32767 && wb <= 32767);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i weights =
      _mm256_setr_epi16(wb, wg, wr, 0, wb, wg, wr, 0, wb, wg, wr, 0, wb, wg, wr, 0);
  const __m256 lo =
      _mm256_castsi256_ps(_mm256_madd_epi16(_mm256_unpacklo_epi8(pixels, zero), weights));
  const __m256 hi =
      _mm256_castsi256_ps(_mm256_madd_epi16(_mm256_unpackhi_epi8(pixels, zero), weights));
  const __m256i first = _mm256_castps_si256(_mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0)));
  const __m256i second = _mm256_castps_si256(_mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1)));
  const __m256i green16 = _mm256_slli_epi32(_mm256_and_si256(pixels, _mm256_set1_epi32(0xFF00)), 8);
  const __m256i sum = _mm256_add_epi32(_mm256_add_epi32(first, second),
                                       _mm256_add_epi32(green16, _mm256_set1_epi32(32768)));
  return _mm256_srli_epi32(sum, 16);
}

}  // namespace morvex::tone
