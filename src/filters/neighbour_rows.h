// The row walks of the 3x3 filters: over the rows of a plane, and over the
// interior pixels of a row for the vector kernels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

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

// The source pixels around a vector of destination pixels from x on: the
// vectors one pixel left of x, at x and one pixel right of x in each of the
// rows above, at and below (index 0, 1, 2).
template <class I>
struct Neighbourhood {
  typename I::V left[3], centre[3], right[3];
};

// Reads Neighbourhoods for the groups of WalkInteriorPixels. A whole vector
// with a whole vector of the row before and after it reads each source block
// once: consecutive groups carry their blocks, and the neighbours are shifted
// out of a block and the ones beside it (an unaligned load costs a second
// cache line each time). Other groups, and all of them on 16-byte vectors
// (where a shift costs more than the occasional split load), load through
// their io.
template <class I>
class NeighbourReader {
 public:
  using V = typename I::V;
  static constexpr std::ptrdiff_t kPixels = I::kBytes / 4;

  NeighbourReader(const Byte* above, const Byte* row, const Byte* below, std::int32_t width)
      : rows_{above, row, below}, width_(width) {}

  template <class Io>
  MORVEX_INLINE Neighbourhood<I> Read(std::ptrdiff_t x, const Io& io) {
    Neighbourhood<I> n;
    const std::ptrdiff_t at = 4 * x;
    constexpr bool kCarry = std::is_same_v<Io, simd::WholeGroup<I>> && I::kBytes > 16;
    if (kCarry && x >= kPixels && x + 2 * kPixels <= width_) {
      for (int r = 0; r < 3; ++r) {
        if (x != carried_) {
          prev_[r] = I::Load(rows_[r] + at - 4 * kPixels);
          cur_[r] = I::Load(rows_[r] + at);
        }
        const V next = I::Load(rows_[r] + at + 4 * kPixels);
        n.left[r] = I::template ConcatWords<kPixels - 1>(prev_[r], cur_[r]);
        n.centre[r] = cur_[r];
        n.right[r] = I::template ConcatWords<1>(cur_[r], next);
        prev_[r] = cur_[r];
        cur_[r] = next;
      }
      carried_ = x + kPixels;
    } else {
      for (int r = 0; r < 3; ++r) {
        n.left[r] = io.Load(rows_[r] + at - 4);
        n.centre[r] = io.Load(rows_[r] + at);
        n.right[r] = io.Load(rows_[r] + at + 4);
      }
    }
    return n;
  }

 private:
  const Byte* rows_[3];
  std::int32_t width_;
  V prev_[3], cur_[3];
  std::ptrdiff_t carried_ = -1;  // the x whose blocks prev_ and cur_ hold
};

// WalkInteriorPixels with each vector's Neighbourhood read by a
// NeighbourReader: group(x, neighbourhood, io) and pixel(x).
template <class I, class Group, class Pixel>
MORVEX_INLINE void WalkNeighbourhoods(std::int32_t width, Byte* dst, const Byte* above,
                                      const Byte* row, const Byte* below, Group&& group,
                                      Pixel&& pixel) {
  NeighbourReader<I> reader(above, row, below, width);
  WalkInteriorPixels<I>(
      width, dst, [&](std::ptrdiff_t x, const auto& io) { group(x, reader.Read(x, io), io); },
      pixel);
}

}  // namespace morvex::filters
