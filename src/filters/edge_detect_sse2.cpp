// EdgeDetect row kernel, SSE2: four pixels per step on bytes.
#include "filters/edge_detect.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace morvex::filters {
namespace {

inline __m128i Load(const Byte* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

inline __m128i AbsDiff(__m128i a, __m128i b) {
  return _mm_or_si128(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a));
}

}  // namespace

void EdgeRowSse2(Byte* dst, const Byte* above, const Byte* row, const Byte* below,
                 std::int32_t width, bool gray, std::int32_t threshold) {
  EdgeBorders(dst, width);
  const ByteThreshold bt = MakeByteThreshold(threshold);
  const __m128i floor = _mm_set1_epi8(static_cast<char>(bt.floor));
  const __m128i enabled = _mm_set1_epi8(static_cast<char>(bt.enabled));
  const __m128i mark = _mm_set1_epi8(static_cast<char>(bt.mark));
  const __m128i opaque = _mm_set1_epi32(static_cast<int>(kOpaqueBlack));
  const __m128i blue = _mm_set1_epi32(0xFF);
  std::int32_t j = 1;
  // A step writes pixels j .. j+3 and reads pixels j-1 .. j+4.
  for (; j <= width - 5; j += 4) {
    const std::size_t at = 4 * static_cast<std::size_t>(j);
    const __m128i d1 = AbsDiff(Load(above + at - 4), Load(below + at + 4));
    const __m128i d2 = AbsDiff(Load(above + at), Load(below + at));
    const __m128i d3 = AbsDiff(Load(above + at + 4), Load(below + at - 4));
    const __m128i d4 = AbsDiff(Load(row + at - 4), Load(row + at + 4));
    const __m128i v = _mm_max_epu8(_mm_max_epu8(d1, d2), _mm_max_epu8(d3, d4));
    const __m128i pass = _mm_and_si128(_mm_cmpeq_epi8(_mm_max_epu8(v, floor), v), enabled);
    __m128i out;
    if (gray) {
      const __m128i o = _mm_and_si128(_mm_and_si128(v, pass), blue);
      out = _mm_or_si128(_mm_or_si128(o, _mm_slli_epi32(o, 8)),
                         _mm_or_si128(_mm_slli_epi32(o, 16), opaque));
    } else {
      out = _mm_or_si128(_mm_and_si128(pass, mark), opaque);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + at), out);
  }
  for (; j < width - 1; ++j) EdgePixel(dst, above, row, below, j, gray, threshold);
}

}  // namespace morvex::filters

#endif
