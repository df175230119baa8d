#include <emmintrin.h>

#include "mask/multiply.h"

namespace morvex::mask {

void MultiplyMaskRowSse2(Byte* dst, const Byte* src, std::int32_t count) {
  std::int32_t x = 0;
  for (; x + 8 <= count; x += 8) {
    float* d = reinterpret_cast<float*>(dst + ElementOffset(x, 4));
    const float* s = reinterpret_cast<const float*>(src + ElementOffset(x, 4));
    const __m128 p0 = _mm_mul_ps(_mm_loadu_ps(s), _mm_loadu_ps(d));
    const __m128 p1 = _mm_mul_ps(_mm_loadu_ps(s + 4), _mm_loadu_ps(d + 4));
    _mm_storeu_ps(d, p0);
    _mm_storeu_ps(d + 4, p1);
  }
  MultiplyMaskRowScalar(dst + ElementOffset(x, 4), src + ElementOffset(x, 4), count - x);
}

}  // namespace morvex::mask
