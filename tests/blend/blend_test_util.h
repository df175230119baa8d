// Helpers of the blending tests: running one call on every processor path,
// random images and single pixels.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/cpu_paths.h"
#include "support/random.h"
#include "support/test_plane.h"

namespace morvex::test {

// Runs `run(rng)` on every path with an Rng seeded alike; each run returns
// the bytes it produced, and every path must give the scalar path's bytes.
template <class Run>
void ExpectPathsAgree(std::uint64_t seed, const std::string& label, Run&& run) {
  std::vector<std::pair<const char*, std::vector<std::uint8_t>>> results;
  std::vector<std::uint8_t> scalar;
  for (const CpuPath& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    Rng rng(seed);
    std::vector<std::uint8_t> got = run(rng);
    if (path.flags == 0)
      scalar = std::move(got);
    else
      results.emplace_back(path.label, std::move(got));
  }
  for (const auto& [name, got] : results) EXPECT_EQ(got, scalar) << label << " on path " << name;
}

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
