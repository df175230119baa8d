#include <emmintrin.h>

#include "tone/histogram.h"
#include "tone/luminance_sse2.h"

namespace morvex::tone {

void HistogramRowSse2(const Byte* row, std::size_t width, HistogramCounters& counters) {
  // Luminance is computed for a chunk of pixels at a time and put in place of
  // alpha, then the chunk's words are counted.
  constexpr std::size_t kChunk = 64;
  alignas(16) std::uint32_t words[kChunk];
  const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
  std::size_t x = 0;
  while (x + 4 <= width) {
    const std::size_t n = (width - x) / 4 * 4 < kChunk ? (width - x) / 4 * 4 : kChunk;
    for (std::size_t i = 0; i < n; i += 4, row += 4 * kArgbImageBytes) {
      const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
      const __m128i y = Luminance4(pixels);
      _mm_store_si128(reinterpret_cast<__m128i*>(words + i),
                      _mm_or_si128(_mm_and_si128(pixels, colour), _mm_slli_epi32(y, 24)));
    }
    CountPacked(counters, words, n);
    x += n;
  }
  for (; x < width; ++x, row += kArgbImageBytes) CountPixel(counters.copies[0], row);
}

}  // namespace morvex::tone
