// Images as the library sees them (premultiplied BGRA, 8 bits per channel)
// and the conversions to and from the straight-alpha RGBA of PNG files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morvex::cli {

// A premultiplied BGRA image, rows packed top-down (stride = width * 4).
struct Image {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint8_t> pixels;

  Image() = default;
  Image(std::int32_t w, std::int32_t h) : width(w), height(h), pixels(std::size_t(w) * h * 4) {}
  std::int32_t stride() const { return width * 4; }
  std::uint8_t* Row(std::int32_t y) { return pixels.data() + std::size_t(y) * stride(); }
  const std::uint8_t* Row(std::int32_t y) const {
    return pixels.data() + std::size_t(y) * stride();
  }
  std::uint8_t* At(std::int32_t x, std::int32_t y) { return Row(y) + std::size_t(x) * 4; }
  const std::uint8_t* At(std::int32_t x, std::int32_t y) const {
    return Row(y) + std::size_t(x) * 4;
  }
};

// Straight-alpha RGBA samples as a PNG holds them, 8 or 16 bits per sample
// (`maxValue` 255 or 65535), rows packed top-down, 4 samples per pixel.
struct StraightPixels {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint32_t maxValue = 255;
  std::vector<std::uint16_t> rgba;
};

// Straight channel c with alpha a, both on the scale 0..maxValue, to the
// premultiplied byte c * a * 255 / maxValue^2 rounded to nearest (the divisor
// is odd, so there are no ties). For 8-bit input this is c * a / 255.
std::uint8_t PremultiplyChannel(std::uint32_t c, std::uint32_t a, std::uint32_t maxValue);
// A sample on the scale 0..maxValue to a byte, rounded to nearest.
std::uint8_t ScaleToByte(std::uint32_t v, std::uint32_t maxValue);
// Premultiplied byte p with alpha a back to straight: p * 255 / a rounded to
// nearest (halves up) and clamped to 255; 0 when a is 0.
std::uint8_t UnpremultiplyChannel(std::uint32_t p, std::uint32_t a);

Image Premultiply(const StraightPixels& straight);
// 8-bit straight RGBA bytes, 4 per pixel, rows packed top-down.
std::vector<std::uint8_t> Unpremultiply(const Image& image);

}  // namespace morvex::cli
