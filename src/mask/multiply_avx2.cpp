#include <immintrin.h>

#include "mask/multiply.h"

namespace morvex::mask {

void MultiplyMaskRowAvx2(Byte* dst, const Byte* src, std::int32_t count) {
  std::int32_t x = 0;
  for (; x + 16 <= count; x += 16) {
    float* d = reinterpret_cast<float*>(dst + ElementOffset(x, 4));
    const float* s = reinterpret_cast<const float*>(src + ElementOffset(x, 4));
    const __m256 p0 = _mm256_mul_ps(_mm256_loadu_ps(s), _mm256_loadu_ps(d));
    const __m256 p1 = _mm256_mul_ps(_mm256_loadu_ps(s + 8), _mm256_loadu_ps(d + 8));
    _mm256_storeu_ps(d, p0);
    _mm256_storeu_ps(d + 8, p1);
  }
  MultiplyMaskRowSse2(dst + ElementOffset(x, 4), src + ElementOffset(x, 4), count - x);
}

}  // namespace morvex::mask
