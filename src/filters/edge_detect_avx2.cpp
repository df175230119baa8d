// EdgeDetect row kernel, AVX2: eight pixels per step on bytes.
#include "filters/edge_detect.h"

#if defined(__SSE2__)
#include <immintrin.h>

namespace morvex::filters {
namespace {

inline __m256i Load(const Byte* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }

inline __m256i AbsDiff(__m256i a, __m256i b) {
  return _mm256_or_si256(_mm256_subs_epu8(a, b), _mm256_subs_epu8(b, a));
}

}  // namespace

void EdgeRowAvx2(Byte* dst, const Byte* above, const Byte* row, const Byte* below,
                 std::int32_t width, bool gray, std::int32_t threshold) {
  EdgeBorders(dst, width);
  const ByteThreshold bt = MakeByteThreshold(threshold);
  const __m256i floor = _mm256_set1_epi8(static_cast<char>(bt.floor));
  const __m256i enabled = _mm256_set1_epi8(static_cast<char>(bt.enabled));
  const __m256i mark = _mm256_set1_epi8(static_cast<char>(bt.mark));
  const __m256i opaque = _mm256_set1_epi32(static_cast<int>(kOpaqueBlack));
  // Blue byte to bytes 0, 1, 2 of each pixel; byte 3 cleared.
  const __m256i spread = _mm256_setr_epi8(0, 0, 0, -1, 4, 4, 4, -1, 8, 8, 8, -1, 12, 12, 12, -1,
                                          0, 0, 0, -1, 4, 4, 4, -1, 8, 8, 8, -1, 12, 12, 12, -1);
  std::int32_t j = 1;
  // A step writes pixels j .. j+7 and reads pixels j-1 .. j+8.
  for (; j <= width - 9; j += 8) {
    const std::size_t at = 4 * static_cast<std::size_t>(j);
    const __m256i d1 = AbsDiff(Load(above + at - 4), Load(below + at + 4));
    const __m256i d2 = AbsDiff(Load(above + at), Load(below + at));
    const __m256i d3 = AbsDiff(Load(above + at + 4), Load(below + at - 4));
    const __m256i d4 = AbsDiff(Load(row + at - 4), Load(row + at + 4));
    const __m256i v = _mm256_max_epu8(_mm256_max_epu8(d1, d2), _mm256_max_epu8(d3, d4));
    const __m256i pass = _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_max_epu8(v, floor), v), enabled);
    const __m256i out = gray ? _mm256_shuffle_epi8(_mm256_and_si256(v, pass), spread)
                             : _mm256_and_si256(pass, mark);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + at), _mm256_or_si256(out, opaque));
  }
  for (; j < width - 1; ++j) EdgePixel(dst, above, row, below, j, gray, threshold);
}

}  // namespace morvex::filters

#endif
