// Shared helpers of the filter tests: ARGB planes described as plain pixel
// vectors, and vector row kernels against their scalar definitions.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "support/cpu_paths.h"
#include "support/test_plane.h"

namespace morvex::test {

// An ARGB image as rows of 0xAARRGGBB words.
using Pixels = std::vector<std::vector<std::uint32_t>>;

inline Pixels ReadPixels(const TestPlane& plane, int width, int height) {
  Pixels out(height, std::vector<std::uint32_t>(width));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) out[y][x] = plane.Get<std::uint32_t>(4 * x, y);
  return out;
}

inline void WritePixels(TestPlane& plane, const Pixels& pixels) {
  for (std::size_t y = 0; y < pixels.size(); ++y)
    for (std::size_t x = 0; x < pixels[y].size(); ++x)
      plane.Set<std::uint32_t>(static_cast<int>(4 * x), static_cast<int>(y), pixels[y][x]);
}

// Byte c of a pixel word, and a word with all four bytes equal.
inline int ChannelOf(std::uint32_t pixel, int c) { return (pixel >> (8 * c)) & 0xFF; }
inline std::uint32_t Gray4(std::uint32_t v) { return v * 0x01010101u; }

// A vector row kernel against the scalar definition: both run on the same
// random rows of every width minWidth..99 (every head and tail length of
// sixteen-pixel vectors) and heights 1..3, with the neighbour rows the filters
// use at the first and last row. Rows are exact-size and fenced; the
// destination sits at a random 0..3 byte offset. Some planes hold only nearby
// values, so mid-range thresholds split them, and some only 0 and 255, the
// extreme strengths. Both are called as f(dst, above, row, below, width);
// `next` runs before each row (to vary further arguments) and returns its
// description.
template <class Kernel, class Scalar, class Next>
void ExpectKernelMatchesScalar(const char* name, int minWidth, Kernel&& kernel, Scalar&& scalar,
                               Next&& next) {
  Rng rng(0x5EED);
  for (int width = minWidth; width <= 99; ++width)
    for (int height = 1; height <= 3; ++height) {
      TestPlane src(4 * width, height), want(4 * width + 3, 1), got(4 * width + 3, 1);
      src.FillRandom(rng);
      const int values = rng.Int(0, 2);
      for (int y = 0; y < height && values != 0; ++y)
        for (int i = 0; i < 4 * width; ++i) {
          const std::uint8_t v = src.Row(y)[i];
          src.Row(y)[i] = values == 1 ? static_cast<std::uint8_t>(100 + (v & 31)) : (v & 1) * 255;
        }
      for (int y = 0; y < height; ++y) {
        const std::uint8_t* above = src.Row(std::max(y - 1, 0));
        const std::uint8_t* below = src.Row(std::min(y + 1, height - 1));
        const int offset = rng.Int(0, 3);
        const std::string what = next(rng);
        want.Fill(0);
        got.Fill(0);
        scalar(want.first() + offset, above, src.Row(y), below, width);
        kernel(got.first() + offset, above, src.Row(y), below, width);
        ASSERT_EQ(got.RowBytes(), want.RowBytes())
            << name << " width " << width << " row " << y << " of " << height << what;
      }
    }
}

}  // namespace morvex::test
