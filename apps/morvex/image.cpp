#include "image.h"

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

std::vector<std::uint8_t> Unpremultiply(const Image& image) {
  const std::size_t count = std::size_t(image.width) * image.height;
  std::vector<std::uint8_t> rgba(count * 4);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* s = &image.pixels[i * 4];
    std::uint8_t* d = &rgba[i * 4];
    d[0] = UnpremultiplyChannel(s[2], s[3]);
    d[1] = UnpremultiplyChannel(s[1], s[3]);
    d[2] = UnpremultiplyChannel(s[0], s[3]);
    d[3] = s[3];
  }
  return rgba;
}

}  // namespace morvex::cli
