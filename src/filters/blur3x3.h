// 3x3 binomial blur of ARGB images: the per-pixel definition, the row kernels
// and their table.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/compiler.h"
#include "frame/dispatch.h"
#include "frame/plane.h"

namespace morvex::filters {

// One output byte: the binomial sum of one channel over three rows, at byte
// offsets `left`, `centre` and `right`, truncated /16 (the sum is at most
// 4080, never negative, so the shift is the division).
MORVEX_INLINE Byte Blur3x3Value(const Byte* above, const Byte* row, const Byte* below,
                                std::size_t left, std::size_t centre, std::size_t right) {
  const int sum = above[left] + 2 * above[centre] + above[right] + 2 * row[left] + 4 * row[centre] +
                  2 * row[right] + below[left] + 2 * below[centre] + below[right];
  return static_cast<Byte>(sum >> 4);
}

// Pixel x of a row, all four channels, with columns clamped to 0 .. width - 1.
MORVEX_INLINE void Blur3x3Pixel(Byte* dst, const Byte* above, const Byte* row, const Byte* below,
                                std::int32_t x, std::int32_t width) {
  const std::size_t centre = 4 * static_cast<std::size_t>(x);
  const std::size_t left = x > 0 ? centre - 4 : centre;
  const std::size_t right = x < width - 1 ? centre + 4 : centre;
  for (std::size_t c = 0; c < 4; ++c)
    dst[centre + c] = Blur3x3Value(above, row, below, left + c, centre + c, right + c);
}

// A row kernel: one destination row of `width` pixels from the source rows
// above, at and below it (the same row where the plane ends), with the bits
// of Blur3x3Pixel.
using Blur3x3RowKernel = void (*)(Byte* dst, const Byte* above, const Byte* row, const Byte* below,
                                  std::int32_t width);

struct Blur3x3Kernels {
  Blur3x3RowKernel row;
};
extern const Blur3x3Kernels kBlur3x3KernelsScalar;
extern const Blur3x3Kernels kBlur3x3KernelsSse2;
extern const Blur3x3Kernels kBlur3x3KernelsAvx2;
extern const Blur3x3Kernels kBlur3x3KernelsAvx512;
extern const KernelTable<Blur3x3Kernels> kBlur3x3KernelTable;

// Blurs an ARGB region from src into dst (which must not overlap it), one
// pass, row by row; empty regions do nothing.
void Blur3x3Plane(Rows dst, ConstRows src, std::int32_t width, std::int32_t height);

}  // namespace morvex::filters
