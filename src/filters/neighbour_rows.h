// The row walk of the 3x3 filters.
#pragma once

#include <cstdint>

#include "frame/plane.h"

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

}  // namespace morvex::filters
