// The Blur3x3 row kernel, written once over the vector layer (frame/simd)
// and instantiated per instruction set in blur3x3_<isa>.cpp.
#pragma once

#include "filters/blur3x3.h"
#include "filters/neighbour_rows.h"

namespace morvex::filters {

// Each channel byte is widened to 16 bits, the three rows' horizontal sums
// left + 2 * centre + right are added with weights 1, 2, 1 and shifted right
// by 4: at most 4080, exact in 16 bits. Unpack and pack keep the pixels in
// order on every width. The first and last pixel (clamped columns) and the
// ends of the row where no vector is left take Blur3x3Pixel.
template <class I>
void Blur3x3Row(Byte* dst, const Byte* above, const Byte* row, const Byte* below,
                std::int32_t width) {
  using V = typename I::V;
  if (width <= 0) return;
  Blur3x3Pixel(dst, above, row, below, 0, width);
  const V zero = I::Zero();
  const auto horizontal = [](V left, V centre, V right) {
    return I::Add16(I::Add16(left, right), I::Add16(centre, centre));
  };
  WalkNeighbourhoods<I>(
      width, dst, above, row, below,
      [&](std::ptrdiff_t x, const Neighbourhood<I>& n, const auto& io) {
        const std::ptrdiff_t at = 4 * x;
        V lo[3], hi[3];
        for (int r = 0; r < 3; ++r) {
          lo[r] = horizontal(I::UnpackLo8(n.left[r], zero), I::UnpackLo8(n.centre[r], zero),
                             I::UnpackLo8(n.right[r], zero));
          hi[r] = horizontal(I::UnpackHi8(n.left[r], zero), I::UnpackHi8(n.centre[r], zero),
                             I::UnpackHi8(n.right[r], zero));
        }
        const V sumLo = I::template Srli16<4>(horizontal(lo[0], lo[1], lo[2]));
        const V sumHi = I::template Srli16<4>(horizontal(hi[0], hi[1], hi[2]));
        io.Store(dst + at, I::PackUS16(sumLo, sumHi));
      },
      [&](std::ptrdiff_t x) {
        Blur3x3Pixel(dst, above, row, below, static_cast<std::int32_t>(x), width);
      });
  if (width > 1) Blur3x3Pixel(dst, above, row, below, width - 1, width);
}

}  // namespace morvex::filters
