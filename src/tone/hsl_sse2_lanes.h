// The SSE2 lane set of HslLanes: two pixels per __m128d. SSE2 is the x86
// baseline, so this header may be included from any file built without
// wider instruction sets (the SSE2 kernel, and the tests of the lane math).
#pragma once

#include <emmintrin.h>

#include <cstddef>

#include "frame/plane.h"

namespace morvex::tone {

struct Sse2Lanes {
  using D = __m128d;
  static constexpr std::size_t kPixels = 2;
  static D Set(double v) { return _mm_set1_pd(v); }
  static D Add(D a, D b) { return _mm_add_pd(a, b); }
  static D Sub(D a, D b) { return _mm_sub_pd(a, b); }
  static D Mul(D a, D b) { return _mm_mul_pd(a, b); }
  static D Div(D a, D b) { return _mm_div_pd(a, b); }
  static D Min(D a, D b) { return _mm_min_pd(a, b); }
  static D Max(D a, D b) { return _mm_max_pd(a, b); }
  static D Lt(D a, D b) { return _mm_cmplt_pd(a, b); }
  static D Gt(D a, D b) { return _mm_cmpgt_pd(a, b); }
  static D Eq(D a, D b) { return _mm_cmpeq_pd(a, b); }
  static D Select(D mask, D ifSet, D ifClear) {
    return _mm_or_pd(_mm_and_pd(mask, ifSet), _mm_andnot_pd(mask, ifClear));
  }
  static __m128i Load(const Byte* p) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  }
  static void Store(Byte* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }
  static D ToDouble(__m128i v) { return _mm_cvtepi32_pd(v); }
  static __m128i ToInt32(D v) { return _mm_cvtpd_epi32(v); }
};

}  // namespace morvex::tone
