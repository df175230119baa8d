// Helpers of the blending tests: running one call on every processor path,
// random images and single pixels.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/oracle_harness.h"
#include "support/random.h"
#include "support/test_plane.h"

namespace morvex::test {

// An ARGB image with random bytes; premultiplied lowers each colour to its alpha.
inline TestPlane RandomImage(Rng& rng, std::int32_t width, std::int32_t height, bool premultiplied,
                             PlaneShape shape = {0, false}) {
  TestPlane plane(width * 4, height, shape.padding, shape.bottomUp);
  plane.FillRandom(rng);
  if (premultiplied) {
    for (std::int32_t y = 0; y < height; ++y) {
      std::uint8_t* row = plane.Row(y);
      for (std::int32_t x = 0; x < width; ++x)
        for (int c = 0; c < 3; ++c)
          if (row[4 * x + c] > row[4 * x + 3]) row[4 * x + c] = row[4 * x + 3];
    }
  }
  return plane;
}

// Snapshot of a plane (padding included), with its guards checked.
inline std::vector<std::uint8_t> Checked(const TestPlane& plane) {
  EXPECT_TRUE(plane.GuardsIntact());
  return plane.Snapshot();
}

// One pixel's four bytes.
struct Px {
  std::uint8_t b, g, r, a;
  bool operator==(const Px&) const = default;
};
inline std::ostream& operator<<(std::ostream& os, const Px& p) {
  return os << "(" << int(p.b) << ", " << int(p.g) << ", " << int(p.r) << ", " << int(p.a) << ")";
}
inline Px PixelAt(const TestPlane& plane, std::int32_t x, std::int32_t y) {
  const std::uint8_t* p = plane.Row(y) + 4 * x;
  return {p[0], p[1], p[2], p[3]};
}
inline void SetPixel(TestPlane& plane, std::int32_t x, std::int32_t y, Px v) {
  std::uint8_t* p = plane.Row(y) + 4 * x;
  p[0] = v.b;
  p[1] = v.g;
  p[2] = v.r;
  p[3] = v.a;
}
inline TestPlane OnePixel(Px v) {
  TestPlane plane(4, 1);
  SetPixel(plane, 0, 0, v);
  return plane;
}

}  // namespace morvex::test
