// AVX2 form of LutWithAlphaClamp: the scalar lookups of the SSE2 path, then
// the clamp to alpha eight pixels at a time.
#include <immintrin.h>

#include "pixel/lut.h"

namespace morvex::pixel {
namespace {

void ClampToAlphaRowAvx2(Byte* row, std::int32_t width) {
  // Byte 3 of each pixel copied into all four of its bytes.
  const __m256i alphaEverywhere = _mm256_setr_epi8(3, 3, 3, 3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15,  //
                                                   3, 3, 3, 3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15);
  std::int32_t x = 0;
  for (; x <= width - 8; x += 8) {
    auto* p = reinterpret_cast<__m256i*>(row + ElementOffset(x, kArgbImageBytes));
    const __m256i pixels = _mm256_loadu_si256(p);
    _mm256_storeu_si256(p, _mm256_min_epu8(pixels, _mm256_shuffle_epi8(pixels, alphaEverywhere)));
  }
  for (; x < width; ++x) {
    Byte* p = row + ElementOffset(x, kArgbImageBytes);
    StoreU32(p, ClampToAlpha(LoadU32(p)));
  }
}

}  // namespace

void LutWithAlphaClampRowAvx2(Byte* row, std::int32_t width, const LutTables& tables) {
  LutThenClampRows(row, width, tables, ClampToAlphaRowAvx2);
}

}  // namespace morvex::pixel
