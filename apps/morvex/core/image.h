// Images as the library sees them (premultiplied BGRA, 8 bits per channel)
// and the conversions to and from the straight-alpha RGBA of PNG files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morvex::cli {

// Largest width or height accepted on reading, and largest pixel count: every
// plane the tool hands to the library, the 16-byte-per-pixel float ones
// included, stays inside 32-bit strides and byte counts.
constexpr std::int32_t kMaxDimension = 32768;
constexpr std::int64_t kMaxPixels = 120000000;

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

// PremultiplyChannel for 8-bit samples without a division: exact for every
// c and a in 0..255 (the tests compare all of them).
inline std::uint8_t PremultiplyByte(std::uint32_t c, std::uint32_t a) {
  const std::uint32_t t = c * a + 128;
  return static_cast<std::uint8_t>((t + (t >> 8)) >> 8);
}
// Straight 8-bit BGRA pixels to premultiplied, in place.
void PremultiplyInPlace(std::uint8_t* bgra, std::size_t pixels);

// UnpremultiplyChannel for every (p, a), looked up.
class UnpremultiplyTable {
 public:
  UnpremultiplyTable();
  std::uint8_t operator()(std::uint32_t p, std::uint32_t a) const { return table_[a << 8 | p]; }

 private:
  std::vector<std::uint8_t> table_;
};

Image Premultiply(const StraightPixels& straight);
// 8-bit straight RGBA bytes, 4 per pixel, rows packed top-down.
std::vector<std::uint8_t> Unpremultiply(const Image& image);

// True when every pixel has alpha 255.
bool IsOpaque(const Image& image);
// Number of pixels whose alpha is below 255.
std::size_t CountTranslucent(const Image& image);
// `image` laid over a background of straight colour `rgba` (source-over on
// the premultiplied bytes, rounded to nearest, colour limited to 255): with an
// opaque background the result is opaque.
Image Flatten(const Image& image, const std::uint8_t rgba[4]);

// The saturation and lightness the library's HslScaleOffset computes for a
// pixel (bytes blue, green, red), in its own arithmetic and order.
void PixelSaturationLightness(const std::uint8_t* bgr, double* saturation, double* lightness);
// The hue offset shifted by whole turns so that every hue the scale and
// offset produce, less or more a third of a turn per channel, stays within
// the one turn the library brings back (exact for |hueScale| <= 4/3).
double CentredHueOffset(double hueScale, double hueOffset);

}  // namespace morvex::cli
