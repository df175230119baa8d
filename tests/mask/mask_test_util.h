// Helpers shared by the mask tests: float planes and pixels.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/cpu_paths.h"
#include "support/test_plane.h"

namespace morvex::test {

inline float FloatAt(const TestPlane& plane, int x, int y) { return plane.Get<float>(4 * x, y); }
inline void SetFloat(TestPlane& plane, int x, int y, float v) { plane.Set<float>(4 * x, y, v); }
inline std::uint32_t PixelAt(const TestPlane& plane, int x, int y) {
  return plane.Get<std::uint32_t>(4 * x, y);
}

// Random floats in [lo, hi) in every row.
inline void FillFloats(TestPlane& plane, Rng& rng, double lo, double hi) {
  for (int y = 0; y < plane.rows(); ++y)
    for (int x = 0; x < plane.rowBytes() / 4; ++x)
      SetFloat(plane, x, y, static_cast<float>(rng.Real(lo, hi)));
}

inline std::uint32_t FloatBits(float v) {
  std::uint32_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

}  // namespace morvex::test
