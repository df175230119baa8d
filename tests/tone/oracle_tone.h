// Slow reference versions of the tone exports (Desaturate, Histogram,
// HslScaleOffset), one pixel at a time, every double operation written in the
// order the formulas give it; they share no code with the library's routines.
#pragma once

#include <cstdint>
#include <cstring>

#include "pixel/oracle_pixel.h"

namespace morvex::oracle {

// ---- Luminance ----

inline constexpr std::int32_t kRedWeight = 19595;
inline constexpr std::int32_t kGreenWeight = 38469;
inline constexpr std::int32_t kBlueWeight = 65536 - kGreenWeight - kRedWeight;

inline std::int32_t Luminance(const std::uint8_t* pixel) {
  const std::int32_t s = kRedWeight * pixel[2] + kGreenWeight * pixel[1] + kBlueWeight * pixel[0] + 32768;
  return s / 65536;
}

inline Outcome Desaturate(std::uint8_t* image, std::int32_t stride, std::int32_t width,
                          std::int32_t height, std::uint32_t alsoAlpha) {
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      std::uint8_t* p = image + At(x, 4);
      const std::uint8_t v = static_cast<std::uint8_t>(Luminance(p));
      p[0] = p[1] = p[2] = v;
      if ((alsoAlpha & 0xFF) != 0) p[3] = v;
    }
    image = Advance(image, stride);
  }
  return {};
}

// Counters are read and written through memcpy (no alignment promise) and
// counted modulo 2^32; arrays may share memory, each increment then lands on
// whatever the shared counter holds.
inline void Bump(std::uint8_t* counters, int index) {
  std::uint32_t c;
  std::memcpy(&c, counters + 4 * index, 4);
  ++c;
  std::memcpy(counters + 4 * index, &c, 4);
}

inline Outcome Histogram(const std::uint8_t* image, std::int32_t stride, std::int32_t width,
                         std::int32_t height, std::uint8_t* red, std::uint8_t* green,
                         std::uint8_t* blue, std::uint8_t* luma) {
  std::uint8_t* arrays[4] = {red, green, blue, luma};
  for (std::uint8_t* a : arrays) std::memset(a, 0, 1024);
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      const std::uint8_t* p = image + At(x, 4);
      Bump(red, p[2]);
      Bump(green, p[1]);
      Bump(blue, p[0]);
      Bump(luma, Luminance(p));
    }
    image = Advance(image, stride);
  }
  std::int32_t peak = 0;
  for (std::uint8_t* a : arrays)
    for (int i = 0; i < 256; ++i) {
      std::int32_t c;
      std::memcpy(&c, a + 4 * i, 4);
      if (c > peak) peak = c;
    }
  return {peak, {}};
}

// ---- HslScaleOffset ----

inline constexpr double kK = 0.00392156862745098;
inline constexpr double kAchromatic = 0.003917647058823529;
inline constexpr double kOneThird = 0.3333333333333333;
inline constexpr double kTwoThirds = 0.6666666666666666;

struct Hsl {
  double hue, saturation, lightness, alpha;
};

inline Hsl RgbToHsl(std::uint32_t pixel) {
  Hsl c;
  const double b = static_cast<double>(pixel & 0xFF) * kK;
  const double g = static_cast<double>((pixel >> 8) & 0xFF) * kK;
  const double r = static_cast<double>((pixel >> 16) & 0xFF) * kK;
  double min = r, max = r;
  if (g < min) min = g;
  if (b < min) min = b;
  if (g > max) max = g;
  if (b > max) max = b;
  const double d = max - min;
  c.lightness = (min + max) * 0.5;
  if (d < kAchromatic) {
    c.hue = 0;
    c.saturation = 0;
  } else {
    if (c.lightness < 0.5)
      c.saturation = d / (min + max);
    else
      c.saturation = d / ((2 - max) - min);
    const double half = 0.5 * d;
    const double dR = ((max - r) / 6 + half) / d;
    const double dG = ((max - g) / 6 + half) / d;
    const double dB = ((max - b) / 6 + half) / d;
    double hue;
    if (max == r)
      hue = dB - dG;
    else if (max == g)
      hue = (dR + kOneThird) - dB;
    else
      hue = (dG + kTwoThirds) - dR;
    if (hue < 0)
      hue = hue + 1;
    else if (hue > 1)
      hue = hue - 1;
    c.hue = hue;
  }
  c.alpha = static_cast<double>(pixel >> 24) * kK;
  return c;
}

// x * 255 converted in the current mode; only the low 8 bits are kept.
inline std::uint32_t ToByte(double x) {
  const double scaled = x * 255.0;
  return static_cast<std::uint32_t>(ConvertCurrentMode(scaled)) & 0xFF;
}

inline double HueToChannel(double p, double q, double h) {
  if (h < 0)
    h = h + 1;
  else if (h > 1)
    h = h - 1;
  if (6 * h < 1) return p + h * (6 * (q - p));
  if (2 * h < 1) return q;
  if (3 * h < 2) return p + 6 * ((kTwoThirds - h) * (q - p));
  return p;
}

inline std::uint32_t HslToRgb(double h, double s, double l, double a) {
  std::uint32_t r, g, b;
  if (s == 0) {
    r = g = b = ToByte(l);
  } else {
    const double q = l < 0.5 ? (s + 1) * l : (l + s) - s * l;
    const double p = (l + l) - q;
    r = ToByte(HueToChannel(p, q, h + kOneThird));
    g = ToByte(HueToChannel(p, q, h));
    b = ToByte(HueToChannel(p, q, h - kOneThird));
  }
  return (ToByte(a) << 24) | (r << 16) | (g << 8) | b;
}

[[gnu::noinline]] inline Outcome HslScaleOffset(std::uint8_t* image, std::int32_t stride,
                                                std::int32_t width, std::int32_t height,
                                                double hueScale, double saturationScale,
                                                double lightnessScale, double hueOffset,
                                                double saturationOffset, double lightnessOffset) {
  const NearestBracket bracket;
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      std::uint8_t* p = image + At(x, 4);
      const Hsl c = RgbToHsl(ReadWord(p));
      const double h = c.hue * hueScale + hueOffset;
      const double s = c.saturation * saturationScale + saturationOffset;
      const double l = c.lightness * lightnessScale + lightnessOffset;
      WriteWord(p, HslToRgb(h, s, l, c.alpha));
    }
    image = Advance(image, stride);
  }
  return {};
}

}  // namespace morvex::oracle
