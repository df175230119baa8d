#include <immintrin.h>

#include "tone/desaturate.h"
#include "tone/luminance_avx2.h"

namespace morvex::tone {

void DesaturateRowAvx2(Byte* row, std::size_t width, bool alsoAlpha) {
  // y sits in byte 0 of each pixel; the shuffle copies it to bytes 0-2, and
  // to byte 3 when alpha receives it too. Otherwise byte 3's control has its
  // top bit set, which gives 0, and the pixel's own alpha is or-ed back in.
  const __m256i spread =
      alsoAlpha ? _mm256_setr_epi8(0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12,  //
                                   0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12)
                : _mm256_setr_epi8(0, 0, 0, -1, 4, 4, 4, -1, 8, 8, 8, -1, 12, 12, 12, -1,  //
                                   0, 0, 0, -1, 4, 4, 4, -1, 8, 8, 8, -1, 12, 12, 12, -1);
  const __m256i keep = _mm256_set1_epi32(alsoAlpha ? 0 : static_cast<int>(0xFF000000u));
  std::size_t x = 0;
  for (; x + 8 <= width; x += 8, row += 8 * kArgbImageBytes) {
    const __m256i pixels = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row));
    const __m256i y = _mm256_shuffle_epi8(Luminance8(pixels), spread);
    const __m256i out = _mm256_or_si256(y, _mm256_and_si256(keep, pixels));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(row), out);
  }
  for (; x < width; ++x, row += kArgbImageBytes) DesaturatePixel(row, alsoAlpha);
}

}  // namespace morvex::tone
