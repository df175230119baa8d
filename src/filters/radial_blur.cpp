#include "filters/radial_blur.h"

#include "frame/compiler.h"
#include "frame/cpu_features.h"
#include "frame/fpu.h"

namespace morvex::filters {
namespace {

void RadialRowScalar(Byte* dstRow, std::int32_t dstStep, const BytePlane& src, std::int32_t y,
                     double dy, const RadialParams& p) {
  for (std::int32_t x = 0; x < src.width; ++x)
    dstRow[ElementOffset(x, dstStep)] = RadialElement(src, x, y, dy, p);
}

// All of the export's arithmetic, called once the bracket is open; kept out
// of line so no operation can be moved across the rounding-mode change.
MORVEX_OPAQUE_FUNCTION void RadialBlurRows(Byte* dst, std::int32_t dstStride,
                                           std::int32_t dstStep, const BytePlane& src,
                                           double centerX, double centerY, double scaleX,
                                           double scaleY, double gain) {
  if (src.height <= 0 || src.width <= 0) return;
  const RadialParams p{centerX, centerY, 1.0 / scaleX, gain};
  const double ky = 1.0 / scaleY;
  const RadialRowKernel row = kRadialKernelTable.For(CpuFeatureFlags()).row;
  Rows out{dst, dstStride};
  for (std::int32_t y = 0; y < src.height; ++y) {
    row(out.row, dstStep, src, y, RadialDisplacement(y, centerY, ky), p);
    out.Next();
  }
}

}  // namespace

constinit const RadialKernels kRadialKernelsScalar = {&RadialRowScalar};
// Two double lanes with emulated gathers are slower than the scalar loop, so
// SSE2 processors take the scalar kernel.
constinit const KernelTable<RadialKernels> kRadialKernelTable("radial_blur", &kRadialKernelsScalar,
                                                              nullptr, &kRadialKernelsAvx2,
                                                              &kRadialKernelsAvx512,
                                                              &kRadialKernelsAvx512Vbmi);

void RadialBlurPlane(Byte* dst, std::int32_t dstStride, std::int32_t dstStep, const BytePlane& src,
                     double centerX, double centerY, double scaleX, double scaleY, double gain) {
  const RoundTowardZeroBracket bracket;
  RadialBlurRows(dst, dstStride, dstStep, src, centerX, centerY, scaleX, scaleY, gain);
}

}  // namespace morvex::filters
