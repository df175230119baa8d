#include "filters/oracle_filters.h"

#include <cfenv>
#include <cmath>
#include <cstring>

#include "frame/convert.h"

namespace morvex::oracle {
namespace {

std::uint8_t* At(std::uint8_t* p, std::int32_t stride, std::int32_t step, std::int64_t x,
                 std::int64_t y) {
  return p + y * stride + x * step;
}
const std::uint8_t* At(const std::uint8_t* p, std::int32_t stride, std::int32_t step,
                       std::int64_t x, std::int64_t y) {
  return p + y * stride + x * step;
}

int Max(int a, int b) { return a > b ? a : b; }
int Min(int a, int b) { return a < b ? a : b; }
int Abs(int a) { return a < 0 ? -a : a; }

// EdgeStrength: the largest of the four opposite-neighbour differences.
int EdgeStrength(const std::uint8_t* above, const std::uint8_t* current,
                 const std::uint8_t* below, int j, int c) {
  const int d1 = Abs(above[4 * (j - 1) + c] - below[4 * (j + 1) + c]);
  const int d2 = Abs(above[4 * j + c] - below[4 * j + c]);
  const int d3 = Abs(above[4 * (j + 1) + c] - below[4 * (j - 1) + c]);
  const int d4 = Abs(current[4 * (j - 1) + c] - current[4 * (j + 1) + c]);
  return Max(Max(d1, d2), Max(d3, d4));
}

struct BytePlane {
  const std::uint8_t* p;
  std::int32_t stride, step, width, height;
};

// SampleBilinear. Positions before the first column or row are limited to it
// (the library's documented choice: edge values, as past the last); past the
// last column or row the fraction beyond it is limited to `reach`, so that
// infinite positions still give edge values.
__attribute__((noinline)) double SampleBilinear(const BytePlane& s, double x, double y,
                                                double reach) {
  if (x < 0) x = 0;
  if (y < 0) y = 0;
  const auto limitedIndex = [](double v, std::int32_t count) {
    std::int32_t i = v >= 2147483648.0 ? INT32_MAX : TruncateToInt32(v);
    if (i > count - 1) i = count - 1;
    if (i < 0) i = 0;
    return i;
  };
  const std::int32_t xi = limitedIndex(x, s.width);
  const std::int32_t yi = limitedIndex(y, s.height);
  double fx = x - xi;
  double fy = y - yi;
  if (fx > reach) fx = reach;
  if (fy > reach) fy = reach;
  const std::int32_t x1 = Min(xi + 1, s.width - 1);
  const std::int32_t y1 = Min(yi + 1, s.height - 1);
  const double p00 = *At(s.p, s.stride, s.step, xi, yi);
  const double p10 = *At(s.p, s.stride, s.step, x1, yi);
  const double p01 = *At(s.p, s.stride, s.step, xi, y1);
  const double p11 = *At(s.p, s.stride, s.step, x1, y1);
  const double top = p10 * fx + p00 * (1 - fx);
  const double bottom = p11 * fx + p01 * (1 - fx);
  return top * (1 - fy) + bottom * fy;
}

// The number of samples for the larger displacement m > 0: ceil(m) wherever
// that fits a signed 32-bit integer, with no limit on the fractions. Beyond
// that (the library's documented choice) width + height samples spread over
// the whole segment, the fractions limited to twice that.
struct Samples {
  std::int64_t n;
  double reach;
};
Samples SampleCount(double m, std::int64_t cap) {
  if (m <= 2147483647.0) return {static_cast<std::int64_t>(std::ceil(m)), INFINITY};
  return {cap, 2.0 * static_cast<double>(cap)};
}

// Everything after the rounding mode is set: kept out of line so no
// arithmetic is evaluated before the mode change.
__attribute__((noinline)) void RadialRows(std::uint8_t* dst, std::int32_t dstStride,
                                          std::int32_t dstStep, const BytePlane& s,
                                          double centerX, double centerY, double scaleX,
                                          double scaleY, double gain) {
  const std::int64_t cap = static_cast<std::int64_t>(s.width) + s.height;
  const double kx = 1 / scaleX;
  const double ky = 1 / scaleY;
  for (std::int32_t y = 0; y < s.height; ++y) {
    const double dy = (centerY + (y - centerY) * ky) - y;
    for (std::int32_t x = 0; x < s.width; ++x) {
      const double dx = (centerX + (x - centerX) * kx) - x;
      std::uint8_t* out = At(dst, dstStride, dstStep, x, y);
      const double adx = std::fabs(dx), ady = std::fabs(dy);
      const double m = adx > ady ? adx : ady;
      if (std::isnan(dx) || std::isnan(dy) || !(m > 0)) {
        *out = *At(s.p, s.stride, s.step, x, y);
        continue;
      }
      const auto [n, reach] = SampleCount(m, cap);
      const double inv = 1.0 / static_cast<double>(n);
      const double stepX = dx * inv, stepY = dy * inv;
      double px = x, py = y, sum = 0;
      for (std::int64_t k = 0; k < n; ++k) {
        sum = sum + SampleBilinear(s, px, py, reach);
        px = px + stepX;
        py = py + stepY;
      }
      const double v = inv * (sum * gain);
      *out = v >= 255.0 ? 255 : static_cast<std::uint8_t>(TruncateToInt32(v) & 0xFF);
    }
  }
}

}  // namespace

std::uint8_t Blur3x3(std::uint8_t* dst, std::int32_t dstStride, const std::uint8_t* src,
                     std::int32_t srcStride, std::int32_t width, std::int32_t height) {
  if (height <= 0) return 1;
  for (int y = 0; y < height; ++y) {
    const int ym = Max(y - 1, 0), yp = Min(y + 1, height - 1);
    for (int x = 0; x < width; ++x) {
      const int xm = Max(x - 1, 0), xp = Min(x + 1, width - 1);
      for (int c = 0; c < 4; ++c) {
        const auto S = [&](int row, int col) {
          return static_cast<int>(At(src, srcStride, 4, col, row)[c]);
        };
        const int sum = S(ym, xm) + 2 * S(ym, x) + S(ym, xp) + 2 * S(y, xm) + 4 * S(y, x) +
                        2 * S(y, xp) + S(yp, xm) + 2 * S(yp, x) + S(yp, xp);
        At(dst, dstStride, 4, x, y)[c] = static_cast<std::uint8_t>(sum / 16);
      }
    }
  }
  return 1;
}

std::uint8_t EdgeDetect(std::uint8_t* dst, std::int32_t dstStride, const std::uint8_t* src,
                        std::int32_t srcStride, std::int32_t width, std::int32_t height,
                        std::uint32_t singleChannel, double threshold) {
  const std::int32_t t = TruncateToInt32(threshold * 255.0);
  if (height <= 0) return 1;
  static const std::uint8_t kOpaqueBlack[4] = {0, 0, 0, 255};
  for (int y = 0; y < height; ++y) {
    if (width < 1) continue;
    const std::uint8_t* above = At(src, srcStride, 4, 0, Max(y - 1, 0));
    const std::uint8_t* current = At(src, srcStride, 4, 0, y);
    const std::uint8_t* below = At(src, srcStride, 4, 0, Min(y + 1, height - 1));
    std::uint8_t* out = At(dst, dstStride, 4, 0, y);
    std::memcpy(out, kOpaqueBlack, 4);
    for (int j = 1; j <= width - 2; ++j) {
      std::uint8_t* o = out + 4 * j;
      if ((singleChannel & 0xFF) != 0) {
        const int v = EdgeStrength(above, current, below, j, 0);
        const int g = v < t ? 0 : v;
        o[0] = o[1] = o[2] = static_cast<std::uint8_t>(g);
      } else {
        for (int c = 0; c < 3; ++c) {
          const int v = EdgeStrength(above, current, below, j, c);
          o[c] = v < t ? 0 : static_cast<std::uint8_t>(static_cast<std::uint32_t>(t) & 0xFF);
        }
      }
      o[3] = 255;
    }
    std::memcpy(out + 4 * (width - 1), kOpaqueBlack, 4);
  }
  return 1;
}

std::uint8_t RadialBlurMask(std::uint8_t* dst, std::int32_t dstStride, std::int32_t dstStep,
                            const std::uint8_t* src, std::int32_t srcStride, std::int32_t srcStep,
                            std::int32_t width, std::int32_t height, double centerX,
                            double centerY, double scaleX, double scaleY, double gain) {
  const int saved = std::fegetround();
  std::fesetround(FE_TOWARDZERO);
  if (height > 0) {
    const BytePlane s{src, srcStride, srcStep, width, height};
    RadialRows(dst, dstStride, dstStep, s, centerX, centerY, scaleX, scaleY, gain);
  }
  std::fesetround(saved);
  return 1;
}

}  // namespace morvex::oracle
