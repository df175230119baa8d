#include <immintrin.h>

#include "tone/hsl.h"
#include "tone/hsl_lanes.h"

namespace morvex::tone {
namespace {

// Four pixels per __m256d. The compares are the signalling (<, >) and quiet
// (==) forms the one-pixel code uses.
struct Avx2Lanes {
  using D = __m256d;
  static constexpr std::size_t kPixels = 4;
  static D Set(double v) { return _mm256_set1_pd(v); }
  static D Add(D a, D b) { return _mm256_add_pd(a, b); }
  static D Sub(D a, D b) { return _mm256_sub_pd(a, b); }
  static D Mul(D a, D b) { return _mm256_mul_pd(a, b); }
  static D Div(D a, D b) { return _mm256_div_pd(a, b); }
  static D Min(D a, D b) { return _mm256_min_pd(a, b); }
  static D Max(D a, D b) { return _mm256_max_pd(a, b); }
  static D Lt(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LT_OS); }
  static D Gt(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_GT_OS); }
  static D Eq(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
  static D Select(D mask, D ifSet, D ifClear) { return _mm256_blendv_pd(ifClear, ifSet, mask); }
  static __m128i Load(const Byte* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  }
  static void Store(Byte* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
  static D ToDouble(__m128i v) { return _mm256_cvtepi32_pd(v); }
  static __m128i ToInt32(D v) { return _mm256_cvtpd_epi32(v); }
};

}  // namespace

void HslScaleOffsetRowAvx2(Byte* row, std::size_t width, const HslAdjustment& adj) {
  const std::size_t groups = width / Avx2Lanes::kPixels;
  HslLanes<Avx2Lanes>::Groups(row, groups, adj);
  _mm256_zeroupper();  // the tail's conversions are legacy-encoded SSE
  row += groups * Avx2Lanes::kPixels * kArgbImageBytes;
  for (std::size_t x = groups * Avx2Lanes::kPixels; x < width; ++x, row += kArgbImageBytes)
    StoreU32(row, HslScaleOffsetPixel(LoadU32(row), adj));
}

}  // namespace morvex::tone
