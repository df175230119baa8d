// Radial (zoom) blur of strided byte planes: the sampling definition.
//
// Everything here runs inside the round-toward-zero bracket: each double
// addition, multiplication, division and conversion rounds toward zero.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "frame/compiler.h"
#include "frame/convert.h"
#include "frame/dispatch.h"
#include "frame/plane.h"

namespace morvex::filters {

// A strided byte plane: element (x, y) at first + y * stride + x * step.
struct BytePlane {
  const Byte* first;
  std::int32_t stride;
  std::int32_t step;
  std::int32_t width;
  std::int32_t height;

  MORVEX_INLINE double At(std::int32_t x, std::int32_t y) const {
    return first[ElementOffset(y, stride) + ElementOffset(x, step)];
  }
};

// The reach of positions that are always finite: no limit.
inline constexpr double kNoReachLimit = std::numeric_limits<double>::infinity();

// A sample coordinate split into a whole index and the fraction past it.
struct AxisPosition {
  std::int32_t index;
  double fraction;
};

// Splits coordinate p on an axis of `size` elements. Inside the plane the
// index is p truncated and the fraction p minus that index. Before the first
// element (and for NaN) the position itself is limited to 0, so the sample is
// the edge value. Past the last element the index is the last one and the
// fraction is the distance beyond it, limited to `reach` (kNoReachLimit, or a
// bound that keeps infinite positions finite; see RadialSampleCount).
MORVEX_INLINE AxisPosition SplitPosition(double p, std::int32_t size, double reach) {
  if (!(p > 0.0)) return {0, 0.0};
  const std::int32_t last = size - 1;
  const double lastAt = last;
  if (p >= lastAt) {
    const double beyond = p - lastAt;
    return {last, beyond < reach ? beyond : reach};
  }
  const std::int32_t index = TruncateToInt32(p);  // 0 < p < last < 2^31
  return {index, p - index};
}

// Bilinear sample of the plane at (x, y); positions past the last column or
// row take the edge elements, those before the first are limited to it.
// `reach` bounds the fraction beyond the far edges (see SplitPosition).
MORVEX_INLINE double SampleBilinear(const BytePlane& plane, double x, double y, double reach) {
  const AxisPosition px = SplitPosition(x, plane.width, reach);
  const AxisPosition py = SplitPosition(y, plane.height, reach);
  const std::int32_t x1 = px.index < plane.width - 1 ? px.index + 1 : plane.width - 1;
  const std::int32_t y1 = py.index < plane.height - 1 ? py.index + 1 : plane.height - 1;
  const double fx = px.fraction, fy = py.fraction;
  const double top = plane.At(x1, py.index) * fx + plane.At(px.index, py.index) * (1.0 - fx);
  const double bottom = plane.At(x1, y1) * fx + plane.At(px.index, y1) * (1.0 - fx);
  return top * (1.0 - fy) + bottom * fy;
}

// The samples of one element and the reach of its fractions (see
// SplitPosition), for a larger displacement m > 0 that is not NaN.
struct RadialSamples {
  std::int32_t count;
  double reach;
};

// The largest sample count: the greatest signed 32-bit integer.
inline constexpr double kMaxRadialCount = 2147483647.0;

// Where ceil(m) fits a signed 32-bit integer, ceil(m) samples and no limit
// on the fractions: the positions move at most one unit per sample, so they
// stay finite. A larger or infinite m (a scale of 0 or nearly so) takes
// width + height samples, the length of the longest monotone path through
// the plane, evenly spaced over the whole segment, with the distance beyond
// the far edges limited to twice that, so huge steps still give edge values
// in bounded time.
MORVEX_INLINE RadialSamples RadialSampleCount(double m, std::int32_t width, std::int32_t height) {
  if (m <= kMaxRadialCount) return {TruncateToInt32(std::ceil(m)), kNoReachLimit};
  const std::int64_t n = static_cast<std::int64_t>(width) + height;
  const std::int32_t count = n > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(n);
  return {count, 2.0 * count};
}

// The destination byte for mean-times-gain v: 255 from 255 up (also for
// values beyond the integer range), otherwise the low byte of v truncated.
MORVEX_INLINE Byte RadialResult(double v) {
  if (v >= 255.0) return 255;
  return static_cast<Byte>(static_cast<std::uint32_t>(TruncateToInt32(v)) & 0xFFu);
}

// One element: the mean of the samples from (x, y) along the displacement
// (dx, dy), whose larger axis is m > 0, times the gain.
MORVEX_INLINE double SegmentMean(const BytePlane& src, double x, double y, double dx, double dy,
                                 double m, double gain) {
  const RadialSamples samples = RadialSampleCount(m, src.width, src.height);
  const std::int32_t n = samples.count;
  const double inv = 1.0 / n;
  const double stepX = dx * inv, stepY = dy * inv;
  double sum = 0.0;
  for (std::int32_t k = 0; k < n; ++k) {
    sum = sum + SampleBilinear(src, x, y, samples.reach);
    x = x + stepX;
    y = y + stepY;
  }
  return inv * (sum * gain);
}

// The parameters every element of a call shares; kx = 1 / scaleX.
struct RadialParams {
  double centerX, centerY, kx, gain;
};

// The displacement of column x towards the far end of its segment.
MORVEX_INLINE double RadialDisplacement(double x, double centre, double k) {
  return (centre + (x - centre) * k) - x;
}

// Element x of row y, whose displacement along y is dy: a copy where there is
// no displacement or it is not a number (a NaN centre or scale, 0 times an
// infinite factor), otherwise the blurred byte.
MORVEX_INLINE Byte RadialElement(const BytePlane& src, std::int32_t x, std::int32_t y, double dy,
                                 const RadialParams& p) {
  const double fx = x;
  const double dx = RadialDisplacement(fx, p.centerX, p.kx);
  const double ax = std::fabs(dx), ay = std::fabs(dy);
  const double m = ax > ay ? ax : ay;
  if (!(m > 0.0) || dx != dx || dy != dy)
    return src.first[ElementOffset(y, src.stride) + ElementOffset(x, src.step)];
  return RadialResult(SegmentMean(src, fx, y, dx, dy, m, p.gain));
}

// A row kernel: the `src.width` elements of row y into dstRow (elements
// dstStep bytes apart), with the bits of RadialElement. Runs inside the
// round-toward-zero bracket.
using RadialRowKernel = void (*)(Byte* dstRow, std::int32_t dstStep, const BytePlane& src,
                                 std::int32_t y, double dy, const RadialParams& p);

struct RadialKernels {
  RadialRowKernel row;
};
extern const RadialKernels kRadialKernelsScalar;
extern const RadialKernels kRadialKernelsAvx2;
extern const RadialKernels kRadialKernelsAvx512;
extern const RadialKernels kRadialKernelsAvx512Vbmi;
extern const KernelTable<RadialKernels> kRadialKernelTable;

// Blurs src into dst (which must not overlap it) along rays through the
// centre, inside the round-toward-zero bracket. See RadialBlurMask.
void RadialBlurPlane(Byte* dst, std::int32_t dstStride, std::int32_t dstStep, const BytePlane& src,
                     double centerX, double centerY, double scaleX, double scaleY, double gain);

}  // namespace morvex::filters
