// SSE2 kernel of ChannelCopy from every fourth byte into adjacent bytes.
#include <emmintrin.h>

#include "pixel/copy.h"

namespace morvex::pixel {

void ChannelCopyRow4To1Sse2(Byte* dst, const Byte* src, std::int32_t width) {
  const __m128i low = _mm_set1_epi32(0xFF);
  std::int32_t x = 0;
  // Sixteen elements per step, while the 64 bytes loaded end before the
  // row's last element; the rest one by one, so nothing past it is read.
  for (; x + 16 < width; x += 16) {
    const Byte* s = src + ElementOffset(x, 4);
    const auto load = [&](int k) {
      return _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16 * k)), low);
    };
    const __m128i words0 = _mm_packs_epi32(load(0), load(1));
    const __m128i words1 = _mm_packs_epi32(load(2), load(3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), _mm_packus_epi16(words0, words1));
  }
  ChannelCopyRow(dst + x, 1, src + ElementOffset(x, 4), 4, width - x);
}

}  // namespace morvex::pixel
