#include <emmintrin.h>

#include "tone/desaturate.h"
#include "tone/luminance_sse2.h"

namespace morvex::tone {

void DesaturateRowSse2(Byte* row, std::size_t width, bool alsoAlpha) {
  // Bytes taken over from the source pixel: alpha, unless it receives y too.
  const __m128i keep = _mm_set1_epi32(alsoAlpha ? 0 : static_cast<int>(0xFF000000u));
  std::size_t x = 0;
  for (; x + 4 <= width; x += 4, row += 4 * kArgbImageBytes) {
    const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
    const __m128i y = Luminance4(pixels);
    __m128i spread = _mm_or_si128(y, _mm_slli_epi32(y, 8));
    spread = _mm_or_si128(spread, _mm_slli_epi32(spread, 16));
    const __m128i out = _mm_or_si128(_mm_andnot_si128(keep, spread), _mm_and_si128(keep, pixels));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(row), out);
  }
  for (; x < width; ++x, row += kArgbImageBytes) DesaturatePixel(row, alsoAlpha);
}

}  // namespace morvex::tone
