#include <immintrin.h>

#include "tone/histogram.h"
#include "tone/luminance_avx2.h"

namespace morvex::tone {

void HistogramRowAvx2(const Byte* row, std::size_t width, HistogramCounters& counters) {
  // Eight pixels at a time, luminance in place of alpha.
  CountRowInGroups<8>(row, width, counters, [](const Byte* pixels, std::uint32_t* words) {
    const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels));
    const __m256i packed = _mm256_or_si256(_mm256_and_si256(p, _mm256_set1_epi32(0x00FFFFFF)),
                                           _mm256_slli_epi32(Luminance8(p), 24));
    _mm256_store_si256(reinterpret_cast<__m256i*>(words), packed);
  });
}

}  // namespace morvex::tone
