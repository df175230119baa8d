#include <emmintrin.h>

#include "tone/histogram.h"
#include "tone/luminance_sse2.h"

namespace morvex::tone {

void HistogramRowSse2(const Byte* row, std::size_t width, HistogramCounters& counters) {
  // Four pixels at a time, luminance in place of alpha.
  CountRowInGroups<4>(row, width, counters, [](const Byte* pixels, std::uint32_t* words) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels));
    const __m128i packed = _mm_or_si128(_mm_and_si128(p, _mm_set1_epi32(0x00FFFFFF)),
                                        _mm_slli_epi32(Luminance4(p), 24));
    _mm_store_si128(reinterpret_cast<__m128i*>(words), packed);
  });
}

}  // namespace morvex::tone
