// AVX2 kernel of ChannelCopy from every fourth byte into adjacent bytes.
#include <immintrin.h>

#include "pixel/copy.h"

namespace morvex::pixel {

void ChannelCopyRow4To1Avx2(Byte* dst, const Byte* src, std::int32_t width) {
  const __m256i low = _mm256_set1_epi32(0xFF);
  // The in-lane packs leave the four-byte groups in the order 0 2 4 6 1 3 5 7.
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  std::int32_t x = 0;
  // Thirty-two elements per step, while the 128 bytes loaded end before the
  // row's last element; the rest one by one, so nothing past it is read.
  for (; x + 32 < width; x += 32) {
    const Byte* s = src + ElementOffset(x, 4);
    const auto load = [&](int k) {
      return _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 32 * k)), low);
    };
    const __m256i words0 = _mm256_packus_epi32(load(0), load(1));
    const __m256i words1 = _mm256_packus_epi32(load(2), load(3));
    const __m256i bytes = _mm256_packus_epi16(words0, words1);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + x), _mm256_permutevar8x32_epi32(bytes, order));
  }
  ChannelCopyRow(dst + x, 1, src + ElementOffset(x, 4), 4, width - x);
}

}  // namespace morvex::pixel
