// The vector row kernel of Desaturate, written once over frame/simd and
// instantiated per instruction set.
#pragma once

#include "frame/simd/walk.h"
#include "tone/desaturate.h"

namespace morvex::tone {

// The luminance of each pixel copied into its three colour bytes, and into
// alpha as well when alsoAlpha; otherwise the pixel's own alpha is kept.
template <class I>
void DesaturateRow(Byte* row, std::int32_t width, bool alsoAlpha) {
  using V = typename I::V;
  const V keep = I::Set32(alsoAlpha ? 0 : static_cast<std::int32_t>(0xFF000000u));
  simd::WalkRow<I, kArgbImageBytes>(
      width, row,
      [&](std::ptrdiff_t x, const auto& io) {
        const V pixels = io.Load(row + 4 * x);
        V y = LuminanceLanes<I>(pixels);
        y = I::Or(y, I::template Slli32<8>(y));
        y = I::Or(y, I::template Slli32<16>(y));
        io.Store(row + 4 * x, I::Select(keep, pixels, y));
      },
      [&](std::ptrdiff_t x) { DesaturatePixel(row + 4 * x, alsoAlpha); });
}

template <class I>
constexpr DesaturateKernels MakeDesaturateKernels() {
  return {&DesaturateRow<I>};
}

}  // namespace morvex::tone
