// Desaturate: colour bytes replaced by the pixel's luminance, in place.
#pragma once

#include <cstdint>

#include "frame/dispatch.h"
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

// Row kernel: `width` (> 0) pixels starting at `row`.
using DesaturateRowFn = void (*)(Byte* row, std::int32_t width, bool alsoAlpha);

struct DesaturateKernels {
  DesaturateRowFn row;
};

extern const DesaturateKernels kDesaturateKernelsScalar;
extern const DesaturateKernels kDesaturateKernelsSse2;
extern const DesaturateKernels kDesaturateKernelsAvx2;
extern const DesaturateKernels kDesaturateKernelsAvx512;
extern const KernelTable<DesaturateKernels> kDesaturateKernelTable;

// Desaturates every pixel of the region (nothing for width or height <= 0).
void Desaturate(Rows image, std::int32_t width, std::int32_t height, bool alsoAlpha);

}  // namespace morvex::tone
