// HslScaleOffset: hue, saturation and lightness of each pixel scaled and
// shifted, through a double-precision HSL record and back.
//
// Every double operation below is written in the order it must run, one
// rounding per operation; the vector kernels repeat the same operations lane
// by lane. ToByte uses the current rounding mode, so these run only inside the
// round-to-nearest bracket.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "frame/compiler.h"
#include "frame/convert.h"
#include "frame/dispatch.h"
#include "frame/plane.h"

namespace morvex::tone {

// Hue, saturation, lightness and alpha, each 0..1 as RgbToHsl produces them.
struct HslColor {
  double hue;
  double saturation;
  double lightness;
  double alpha;
};

inline constexpr double kByteToUnit = 0.00392156862745098;   // the double nearest 1/255
inline constexpr double kAchromatic = 0.003917647058823529;  // 0.999 / 255
inline constexpr double kOneThird = 0.3333333333333333;
inline constexpr double kTwoThirds = 0.6666666666666666;

// The smaller and the larger of two doubles, as std::min and std::max give
// them (written here so that no out-of-line helper is shared with the wide
// kernel files).
MORVEX_INLINE double Lesser(double a, double b) { return b < a ? b : a; }
MORVEX_INLINE double Greater(double a, double b) { return a < b ? b : a; }

// One pixel (blue in the low byte, alpha in the top byte) to HSL.
MORVEX_INLINE HslColor RgbToHsl(std::uint32_t pixel) {
  const double b = static_cast<double>(pixel & 0xFFu) * kByteToUnit;
  const double g = static_cast<double>((pixel >> 8) & 0xFFu) * kByteToUnit;
  const double r = static_cast<double>((pixel >> 16) & 0xFFu) * kByteToUnit;
  const double min = Lesser(Lesser(r, g), b);
  const double max = Greater(Greater(r, g), b);
  const double d = max - min;
  HslColor c;
  c.lightness = (min + max) * 0.5;
  // d is a whole number of steps of 1/255: below the threshold only for grays.
  if (d < kAchromatic) {
    c.hue = 0.0;
    c.saturation = 0.0;
  } else {
    c.saturation = c.lightness < 0.5 ? d / (min + max) : d / ((2.0 - max) - min);
    const double half = 0.5 * d;
    const double dR = ((max - r) / 6.0 + half) / d;
    const double dG = ((max - g) / 6.0 + half) / d;
    const double dB = ((max - b) / 6.0 + half) / d;
    double hue;
    if (max == r) {
      hue = dB - dG;
    } else if (max == g) {
      hue = (dR + kOneThird) - dB;
    } else {
      hue = (dG + kTwoThirds) - dR;
    }
    if (hue < 0.0) {
      hue = hue + 1.0;
    } else if (hue > 1.0) {
      hue = hue - 1.0;
    }
    c.hue = hue;
  }
  c.alpha = static_cast<double>(pixel >> 24) * kByteToUnit;
  return c;
}

// One colour component for hue h. The hue is brought back by one period at
// most; every comparison is strict, so a boundary value takes the next segment.
MORVEX_INLINE double HueToChannel(double p, double q, double h) {
  if (h < 0.0) {
    h = h + 1.0;
  } else if (h > 1.0) {
    h = h - 1.0;
  }
  if (6.0 * h < 1.0) return p + h * (6.0 * (q - p));
  if (2.0 * h < 1.0) return q;
  if (3.0 * h < 2.0) return p + 6.0 * ((kTwoThirds - h) * (q - p));
  return p;
}

// The neighbouring double above (dir 1) or below (dir -1) a positive x.
constexpr double Neighbour(double x, int dir) {
  return std::bit_cast<double>(std::bit_cast<std::uint64_t>(x) + static_cast<std::uint64_t>(dir));
}

// The smallest positive double h with factor * h (rounded to nearest) >= bound:
// for factor, bound > 0, "factor * h < bound" is "h < FirstReaching(...)",
// since a rounded product never decreases as h grows. (Evaluated at compile
// time, where products round to nearest.)
constexpr double FirstReaching(double factor, double bound) {
  double t = bound / factor;
  while (factor * Neighbour(t, -1) >= bound) t = Neighbour(t, -1);
  while (factor * t < bound) t = Neighbour(t, 1);
  return t;
}

// x * 255 converted in the current rounding mode; the low 8 bits of the
// integer are kept without clamping (256 gives 0, -32 gives 224, and a value
// without an int32 conversion gives the integer-indefinite value's low byte, 0).
MORVEX_INLINE std::uint32_t ToByte(double x) {
  return static_cast<std::uint32_t>(ConvertCurrentMode(x * 255.0)) & 0xFFu;
}

// HSL and alpha back to a pixel, packed as RgbToHsl takes it.
MORVEX_INLINE std::uint32_t HslToRgb(double h, double s, double l, double a) {
  std::uint32_t red, green, blue;
  if (s == 0.0) {
    red = green = blue = ToByte(l);
  } else {
    const double q = l < 0.5 ? (s + 1.0) * l : (l + s) - s * l;
    const double p = (l + l) - q;
    red = ToByte(HueToChannel(p, q, h + kOneThird));
    green = ToByte(HueToChannel(p, q, h));
    blue = ToByte(HueToChannel(p, q, h - kOneThird));
  }
  return blue | (green << 8) | (red << 16) | (ToByte(a) << 24);
}

// The six numbers of one call: the scales first, then the offsets.
struct HslAdjustment {
  double hueScale;
  double saturationScale;
  double lightnessScale;
  double hueOffset;
  double saturationOffset;
  double lightnessOffset;
};

// One pixel: to HSL, each component times its scale plus its offset (no
// clamping), and back.
MORVEX_INLINE std::uint32_t HslScaleOffsetPixel(std::uint32_t pixel,
                                                     const HslAdjustment& adj) {
  const HslColor c = RgbToHsl(pixel);
  const double h = c.hue * adj.hueScale + adj.hueOffset;
  const double s = c.saturation * adj.saturationScale + adj.saturationOffset;
  const double l = c.lightness * adj.lightnessScale + adj.lightnessOffset;
  return HslToRgb(h, s, l, c.alpha);
}

// Row kernels: `width` (> 0) pixels starting at `row`, in place. They use
// the current rounding mode and so are called inside the bracket.
using HslRowFn = void (*)(Byte* row, std::int32_t width, const HslAdjustment& adj);
// RgbToHsl of `width` pixels as the kernels compute it, without alpha (for
// the test that compares every path with the one-pixel form over every colour).
using HslForwardRowFn = void (*)(const Byte* row, std::int32_t width, double* hue,
                                 double* saturation, double* lightness);

struct HslKernels {
  HslRowFn scaleOffset;
  HslForwardRowFn forward;
};

extern const HslKernels kHslKernelsScalar;
extern const HslKernels kHslKernelsSse2;
extern const HslKernels kHslKernelsAvx2;
extern const HslKernels kHslKernelsAvx512;
extern const KernelTable<HslKernels> kHslKernelTable;

// Adjusts every pixel of the region inside the round-to-nearest bracket.
void HslScaleOffset(Rows image, std::int32_t width, std::int32_t height, const HslAdjustment& adj);

}  // namespace morvex::tone
