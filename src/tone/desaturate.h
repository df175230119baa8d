// Desaturate: colour bytes replaced by the pixel's luminance, in place.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/plane.h"
#include "tone/luminance.h"

namespace morvex::tone {

// One pixel: blue, green and red take the luminance; alpha takes it as well
// when alsoAlpha, otherwise alpha keeps its value.
MORVEX_INLINE void DesaturatePixel(Byte* pixel, bool alsoAlpha) {
  const Byte y = static_cast<Byte>(Luminance(pixel));
  pixel[kBlue] = y;
  pixel[kGreen] = y;
  pixel[kRed] = y;
  if (alsoAlpha) pixel[kAlpha] = y;
}

// Row kernels: `width` pixels starting at `row`.
using DesaturateRowKernel = void (*)(Byte* row, std::size_t width, bool alsoAlpha);
void DesaturateRowScalar(Byte* row, std::size_t width, bool alsoAlpha);
void DesaturateRowSse2(Byte* row, std::size_t width, bool alsoAlpha);
void DesaturateRowAvx2(Byte* row, std::size_t width, bool alsoAlpha);

// The kernel for a set of processor feature flags.
DesaturateRowKernel ChooseDesaturateRow(std::uint32_t cpuFlags);

// Desaturates every pixel of the region (nothing for width or height <= 0).
void Desaturate(Rows image, std::int32_t width, std::int32_t height, bool alsoAlpha);

}  // namespace morvex::tone
