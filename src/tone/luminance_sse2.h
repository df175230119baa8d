// Luminance of four pixels at once with SSE2. Include only from *_sse2.cpp
// files, so every copy of these inline functions is built for the same
// instruction set.
#pragma once

#include <emmintrin.h>

#include "tone/luminance.h"

namespace morvex::tone {

// Green's weight does not fit a signed 16-bit multiplier, so it is split into
// (green - 65536) through pmaddwd and green << 16 added separately. All sums
// are exact integers, so the result equals Luminance() lane by lane.
inline constexpr std::int32_t kGreenMaddWeight = kLuminanceWeights.green - 65536;
static_assert(kGreenMaddWeight >= -32768 && kLuminanceWeights.red <= 32767 &&
              kLuminanceWeights.blue <= 32767);

// Four ARGB pixels in, their luminances (0..255) in the four 32-bit lanes out.
inline __m128i Luminance4(__m128i pixels) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i weights =
      _mm_setr_epi16(kLuminanceWeights.blue, kGreenMaddWeight, kLuminanceWeights.red, 0,
                     kLuminanceWeights.blue, kGreenMaddWeight, kLuminanceWeights.red, 0);
  // Per pixel two partial sums: blue*wb + green*(wg - 65536), and red*wr.
  const __m128 lo = _mm_castsi128_ps(_mm_madd_epi16(_mm_unpacklo_epi8(pixels, zero), weights));
  const __m128 hi = _mm_castsi128_ps(_mm_madd_epi16(_mm_unpackhi_epi8(pixels, zero), weights));
  const __m128i first = _mm_castps_si128(_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0)));
  const __m128i second = _mm_castps_si128(_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1)));
  const __m128i green16 = _mm_slli_epi32(_mm_and_si128(pixels, _mm_set1_epi32(0xFF00)), 8);
  const __m128i sum =
      _mm_add_epi32(_mm_add_epi32(first, second), _mm_add_epi32(green16, _mm_set1_epi32(32768)));
  return _mm_srli_epi32(sum, 16);
}

}  // namespace morvex::tone
