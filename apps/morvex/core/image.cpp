#include "core/image.h"

#include <algorithm>
#include <cmath>

namespace morvex::cli {

std::uint8_t PremultiplyChannel(std::uint32_t c, std::uint32_t a, std::uint32_t maxValue) {
  const std::uint64_t num = std::uint64_t(c) * a * 255;
  const std::uint64_t den = std::uint64_t(maxValue) * maxValue;
  return static_cast<std::uint8_t>((2 * num + den) / (2 * den));
}

std::uint8_t ScaleToByte(std::uint32_t v, std::uint32_t maxValue) {
  const std::uint64_t num = std::uint64_t(v) * 255;
  return static_cast<std::uint8_t>((2 * num + maxValue) / (2 * std::uint64_t(maxValue)));
}

std::uint8_t UnpremultiplyChannel(std::uint32_t p, std::uint32_t a) {
  if (a == 0) return 0;
  const std::uint32_t v = (2 * p * 255 + a) / (2 * a);
  return static_cast<std::uint8_t>(v > 255 ? 255 : v);
}

Image Premultiply(const StraightPixels& straight) {
  Image image(straight.width, straight.height);
  const std::size_t count = std::size_t(straight.width) * straight.height;
  const std::uint32_t max = straight.maxValue;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint16_t* s = &straight.rgba[i * 4];
    std::uint8_t* d = &image.pixels[i * 4];
    d[0] = PremultiplyChannel(s[2], s[3], max);
    d[1] = PremultiplyChannel(s[1], s[3], max);
    d[2] = PremultiplyChannel(s[0], s[3], max);
    d[3] = ScaleToByte(s[3], max);
  }
  return image;
}

void PremultiplyInPlace(std::uint8_t* bgra, std::size_t pixels) {
  for (std::size_t i = 0; i < pixels; ++i) {
    std::uint8_t* p = bgra + i * 4;
    const std::uint32_t a = p[3];
    if (a == 255) continue;
    p[0] = PremultiplyByte(p[0], a);
    p[1] = PremultiplyByte(p[1], a);
    p[2] = PremultiplyByte(p[2], a);
  }
}

UnpremultiplyTable::UnpremultiplyTable() : table_(256 * 256) {
  for (std::uint32_t a = 0; a < 256; ++a)
    for (std::uint32_t p = 0; p < 256; ++p) table_[a << 8 | p] = UnpremultiplyChannel(p, a);
}

std::vector<std::uint8_t> Unpremultiply(const Image& image) {
  const std::size_t count = std::size_t(image.width) * image.height;
  std::vector<std::uint8_t> rgba(count * 4);
  const UnpremultiplyTable straight;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* s = &image.pixels[i * 4];
    std::uint8_t* d = &rgba[i * 4];
    d[0] = straight(s[2], s[3]);
    d[1] = straight(s[1], s[3]);
    d[2] = straight(s[0], s[3]);
    d[3] = s[3];
  }
  return rgba;
}

std::size_t CountTranslucent(const Image& image) {
  std::size_t count = 0;
  for (std::size_t i = 3; i < image.pixels.size(); i += 4) count += image.pixels[i] != 255;
  return count;
}

bool IsOpaque(const Image& image) {
  const std::uint8_t* p = image.pixels.data();
  const std::size_t n = image.pixels.size();
  // Whole rows at a time, so the comparison loop stays branch-free.
  const std::size_t step = std::size_t(image.width) * 4;
  for (std::size_t start = 0; start < n; start += step) {
    unsigned all = 255;
    for (std::size_t i = start + 3; i < start + step; i += 4) all &= p[i];
    if (all != 255) return false;
  }
  return true;
}

Image Flatten(const Image& image, const std::uint8_t rgba[4]) {
  Image out(image.width, image.height);
  const std::uint32_t bg[4] = {PremultiplyByte(rgba[2], rgba[3]), PremultiplyByte(rgba[1], rgba[3]),
                               PremultiplyByte(rgba[0], rgba[3]), rgba[3]};
  for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
    const std::uint32_t cover = 255 - image.pixels[i + 3];
    for (int k = 0; k < 4; ++k) {
      const std::uint32_t v = image.pixels[i + k] + (2 * bg[k] * cover + 255) / 510;
      out.pixels[i + k] = static_cast<std::uint8_t>(v > 255 ? 255 : v);
    }
  }
  return out;
}

void PixelSaturationLightness(const std::uint8_t* p, double* saturation, double* lightness) {
  constexpr double k = 0.00392156862745098;
  const double b = p[0] * k, g = p[1] * k, r = p[2] * k;
  const double lo = std::min(std::min(r, g), b), hi = std::max(std::max(r, g), b);
  const double d = hi - lo;
  *lightness = (lo + hi) * 0.5;
  if (d < 0.003917647058823529)
    *saturation = 0;
  else
    *saturation = *lightness < 0.5 ? d / (lo + hi) : d / ((2 - hi) - lo);
}

double CentredHueOffset(double hueScale, double hueOffset) {
  // Hues run over hueScale * [0, 1] + hueOffset; put the middle of that in [0, 1).
  return hueOffset - std::floor(hueScale * 0.5 + hueOffset);
}

}  // namespace morvex::cli
