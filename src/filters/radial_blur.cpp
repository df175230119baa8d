#include "filters/radial_blur.h"

#include <cmath>

#include "frame/compiler.h"
#include "frame/fpu.h"

namespace morvex::filters {
namespace {

// One element: the mean of n samples from (x, y) along the displacement
// (dx, dy), times the gain.
double SegmentMean(const BytePlane& src, double x, double y, double dx, double dy, double m,
                   double gain) {
  const RadialSamples samples = RadialSampleCount(m, src.width, src.height);
  const std::int32_t n = samples.count;
  const double reach = samples.reach;
  const double inv = 1.0 / n;
  const double stepX = dx * inv, stepY = dy * inv;
  double sum = 0.0;
  for (std::int32_t k = 0; k < n; ++k) {
    sum = sum + SampleBilinear(src, x, y, reach);
    x = x + stepX;
    y = y + stepY;
  }
  return inv * (sum * gain);
}

// All of the export's arithmetic, called once the bracket is open; kept out
// of line so no operation can be moved across the rounding-mode change.
MORVEX_OPAQUE_FUNCTION void RadialBlurRows(Byte* dst, std::int32_t dstStride,
                                                    std::int32_t dstStep, const BytePlane& src,
                                                    double centerX, double centerY, double scaleX,
                                                    double scaleY, double gain) {
  if (src.height <= 0 || src.width <= 0) return;
  const double kx = 1.0 / scaleX, ky = 1.0 / scaleY;
  Rows out{dst, dstStride};
  for (std::int32_t y = 0; y < src.height; ++y) {
    const double fy = y;
    const double dy = (centerY + (fy - centerY) * ky) - fy;
    for (std::int32_t x = 0; x < src.width; ++x) {
      const double fx = x;
      const double dx = (centerX + (fx - centerX) * kx) - fx;
      const double ax = std::fabs(dx), ay = std::fabs(dy);
      const double m = ax > ay ? ax : ay;
      Byte& d = out.row[ElementOffset(x, dstStep)];
      // No displacement, or one that is not a number (a NaN centre or scale,
      // 0 times an infinite factor): the element is copied.
      if (!(m > 0.0) || dx != dx || dy != dy) {
        d = src.first[ElementOffset(y, src.stride) + ElementOffset(x, src.step)];
        continue;
      }
      d = RadialResult(SegmentMean(src, fx, fy, dx, dy, m, gain));
    }
    out.Next();
  }
}

}  // namespace

void RadialBlurPlane(Byte* dst, std::int32_t dstStride, std::int32_t dstStep, const BytePlane& src,
                     double centerX, double centerY, double scaleX, double scaleY, double gain) {
  const RoundTowardZeroBracket bracket;
  RadialBlurRows(dst, dstStride, dstStep, src, centerX, centerY, scaleX, scaleY, gain);
}

}  // namespace morvex::filters
