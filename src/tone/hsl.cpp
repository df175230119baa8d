#include "tone/hsl.h"

#include "frame/fpu.h"

namespace morvex::tone {
namespace {

[[gnu::noinline]] void HslScaleOffsetRowScalar(Byte* row, std::int32_t width,
                                               const HslAdjustment& adj) {
  for (std::int32_t x = 0; x < width; ++x, row += kArgbImageBytes)
    StoreU32(row, HslScaleOffsetPixel(LoadU32(row), adj));
}

void HslForwardRowScalar(const Byte* row, std::int32_t width, double* hue, double* saturation,
                         double* lightness) {
  for (std::int32_t x = 0; x < width; ++x, row += kArgbImageBytes) {
    const HslColor c = RgbToHsl(LoadU32(row));
    hue[x] = c.hue;
    saturation[x] = c.saturation;
    lightness[x] = c.lightness;
  }
}

}  // namespace

const HslKernels kHslKernelsScalar = {&HslScaleOffsetRowScalar, &HslForwardRowScalar};
constinit const KernelTable<HslKernels> kHslKernelTable("hsl", &kHslKernelsScalar,
                                                        &kHslKernelsSse2, &kHslKernelsAvx2,
                                                        &kHslKernelsAvx512);

void HslScaleOffset(Rows image, std::int32_t width, std::int32_t height, const HslAdjustment& adj) {
  const RoundToNearestBracket bracket;
  if (width <= 0) return;  // a row without pixels touches nothing
  // The kernels are separate functions, so no rounding-sensitive work can be
  // moved ahead of the bracket.
  const HslRowFn row = kHslKernelTable.For(CpuFeatureFlags()).scaleOffset;
  for (std::int32_t y = 0; y < height; ++y) {
    row(image.row, width, adj);
    image.Next();
  }
}

}  // namespace morvex::tone
