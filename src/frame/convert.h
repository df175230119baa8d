// Double/float to integer conversions with the processor's semantics.
//
// Values without a 32-bit integer conversion (NaN, infinities, magnitudes of
// 2^31 and more) give the "integer indefinite" value INT32_MIN, exactly as the
// conversion instructions do; the callers' clamps rely on it. Never write
// (int)x for these: that is undefined behaviour out of range.
#pragma once

#include <cstdint>

#include "frame/compiler.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define MORVEX_HAVE_SSE2_INTRINSICS 1
#else
#include <cmath>
#endif

namespace morvex {

inline constexpr std::int32_t kIntegerIndefinite = INT32_MIN;

#if MORVEX_HAVE_SSE2_INTRINSICS

// Conversion in the current rounding mode (MXCSR): inside the round-to-nearest
// bracket, exact halves go to the even integer. Written as volatile asm so the
// compiler neither folds it with the default mode nor moves it across a
// rounding-mode change.
MORVEX_INLINE std::int32_t ConvertCurrentMode(double v) {
  std::int32_t r;
  __asm__ volatile("cvtsd2si %1, %0" : "=r"(r) : "x"(v));
  return r;
}
MORVEX_INLINE std::int32_t ConvertCurrentMode(float v) {
  std::int32_t r;
  __asm__ volatile("cvtss2si %1, %0" : "=r"(r) : "x"(v));
  return r;
}

// Conversion by truncation toward zero, independent of the rounding mode.
MORVEX_INLINE std::int32_t TruncateToInt32(double v) { return _mm_cvttsd_si32(_mm_set_sd(v)); }
MORVEX_INLINE std::int32_t TruncateToInt32(float v) { return _mm_cvttss_si32(_mm_set_ss(v)); }

#else

MORVEX_INLINE bool FitsInt32(double v) { return v > -2147483649.0 && v < 2147483648.0; }
MORVEX_INLINE std::int32_t ConvertCurrentMode(double v) {
  if (!FitsInt32(v)) return kIntegerIndefinite;
  const double r = std::nearbyint(v);
  return FitsInt32(r) && r < 2147483648.0 ? static_cast<std::int32_t>(r) : kIntegerIndefinite;
}
MORVEX_INLINE std::int32_t ConvertCurrentMode(float v) { return ConvertCurrentMode(static_cast<double>(v)); }
MORVEX_INLINE std::int32_t TruncateToInt32(double v) {
  return FitsInt32(v) ? static_cast<std::int32_t>(v) : kIntegerIndefinite;
}
MORVEX_INLINE std::int32_t TruncateToInt32(float v) { return TruncateToInt32(static_cast<double>(v)); }

#endif

// Rounds a double to single precision in the current rounding mode: "stored
// as single". The build uses SSE scalar math, so there is no excess precision.
MORVEX_INLINE float ToSingle(double v) { return static_cast<float>(v); }

}  // namespace morvex
