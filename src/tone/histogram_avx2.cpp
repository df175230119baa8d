#include <immintrin.h>

#include "tone/histogram.h"
#include "tone/luminance_avx2.h"

namespace morvex::tone {

void HistogramRowAvx2(const Byte* row, std::size_t width, HistogramCounters& counters) {
  // As the SSE2 kernel, eight pixels per luminance step.
  constexpr std::size_t kChunk = 64;
  alignas(32) std::uint32_t words[kChunk];
  const __m256i colour = _mm256_set1_epi32(0x00FFFFFF);
  std::size_t x = 0;
  while (x + 8 <= width) {
    const std::size_t n = (width - x) / 8 * 8 < kChunk ? (width - x) / 8 * 8 : kChunk;
    for (std::size_t i = 0; i < n; i += 8, row += 8 * kArgbImageBytes) {
      const __m256i pixels = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row));
      const __m256i y = Luminance8(pixels);
      _mm256_store_si256(reinterpret_cast<__m256i*>(words + i),
                         _mm256_or_si256(_mm256_and_si256(pixels, colour), _mm256_slli_epi32(y, 24)));
    }
    CountPacked(counters, words, n);
    x += n;
  }
  _mm256_zeroupper();
  for (; x < width; ++x, row += kArgbImageBytes) CountPixel(counters.copies[0], row);
}

}  // namespace morvex::tone
