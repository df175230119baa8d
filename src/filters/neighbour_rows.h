// The row walks of the 3x3 filters: over the rows of a plane, and over the
// interior pixels of a row for the vector kernels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/compiler.h"
#include "frame/plane.h"
#include "frame/simd/walk.h"

namespace morvex::filters {

// Calls row(dstRow, above, current, below) for each of `height` rows, the
// first and last source rows standing in for their missing neighbours.
template <class RowFn>
void ForEachRowWithNeighbours(Rows dst, ConstRows src, std::int32_t height, RowFn&& row) {
  const Byte* current = src.row;
  const Byte* above = current;
  for (std::int32_t y = 0; y < height; ++y) {
    const Byte* below = y + 1 < height ? current + src.stride : current;
    row(dst.row, above, current, below);
    above = current;
    current = below;
    dst.Next();
  }
}

// Walks pixels 1 .. width - 2 of a destination row (those with a left and a
// right neighbour in the row) by simd::WalkRow, the vectors aligned in dst:
// group(x, io) handles the vector of pixels from x on, pixel(x) one pixel.
// A group's io may read and write only part of a vector (the ends, on
// AVX-512); loads one pixel left or right of x through the same io then read
// only the neighbours of the pixels it handles.
template <class I, class Group, class Pixel>
MORVEX_INLINE void WalkInteriorPixels(std::int32_t width, Byte* dst, Group&& group, Pixel&& pixel) {
  if (width < 3) return;
  simd::WalkRow<I, 4>(
      width - 2, dst + 4, [&](std::ptrdiff_t x, const auto& io) { group(x + 1, io); },
      [&](std::ptrdiff_t x) { pixel(x + 1); });
}

}  // namespace morvex::filters
