#include "core/picture.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/parallel.h"

namespace morvex::cli {

void Picture::Note(const std::string& line) {
  if (std::find(notes.begin(), notes.end(), line) == notes.end()) notes.push_back(line);
}

Picture FromImage(Image image, Metadata metadata) {
  Picture picture;
  picture.image = std::move(image);
  picture.premultiplied = true;
  picture.metadata = std::move(metadata);
  return picture;
}

Image TakeImage(Picture& picture, const std::string& why) {
  Image image;
  if (picture.deepForm()) {
    image = Premultiply(picture.deep);
    picture.deep = StraightPixels();
    if (!why.empty()) picture.Note("16-bit samples reduced to 8 bits (" + why + ")");
  } else {
    image = std::move(picture.image);
    if (!picture.premultiplied) PremultiplyInPlace(image.pixels.data(), image.pixels.size() / 4);
  }
  picture.image = Image();
  picture.premultiplied = true;
  return image;
}

Image TakeStraight(Picture& picture, const std::string& why) {
  Image image;
  if (picture.deepForm()) {
    const StraightPixels& deep = picture.deep;
    image = Image(deep.width, deep.height);
    for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
      static constexpr int kFrom[4] = {2, 1, 0, 3};  // BGRA from RGBA
      for (int k = 0; k < 4; ++k)
        image.pixels[i + k] = ScaleToByte(deep.rgba[i + kFrom[k]], deep.maxValue);
    }
    picture.deep = StraightPixels();
    if (!why.empty()) picture.Note("16-bit samples reduced to 8 bits (" + why + ")");
  } else {
    image = std::move(picture.image);
    if (picture.premultiplied) {
      const UnpremultiplyTable straight;
      for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
        std::uint8_t* p = &image.pixels[i];
        if (p[3] == 255) continue;  // opaque: straight already
        p[0] = straight(p[0], p[3]), p[1] = straight(p[1], p[3]), p[2] = straight(p[2], p[3]);
      }
    }
  }
  picture.image = Image();
  picture.premultiplied = false;
  return image;
}

void PutImage(Picture& picture, Image image) {
  picture.deep = StraightPixels();
  picture.image = std::move(image);
  picture.premultiplied = true;
}

void SettleAsStored(Picture& picture) {
  if (picture.deepForm() || !picture.premultiplied) return;
  Image& image = picture.image;
  // Each row is tested without branches (almost every row passes), and only
  // a row holding colour above alpha is mended pixel by pixel; rows in bands
  // on every thread.
  ParallelRows(image.height, [&](std::int32_t first, std::int32_t last) {
    for (std::int32_t y = first; y < last; ++y) {
      std::uint8_t* p = image.Row(y);
      const std::size_t n = std::size_t(image.width) * 4;
      unsigned above = 0;
      for (std::size_t i = 0; i < n; i += 4)
        above |= unsigned(p[i] > p[i + 3]) | unsigned(p[i + 1] > p[i + 3]) |
                 unsigned(p[i + 2] > p[i + 3]);
      if (!above) continue;
      for (std::size_t i = 0; i < n; i += 4) {
        const std::uint32_t a = p[i + 3];
        for (int k = 0; k < 3; ++k)
          if (p[i + k] > a) p[i + k] = PremultiplyByte(UnpremultiplyChannel(p[i + k], a), a);
      }
    }
  });
}

std::vector<float> DeepToFloat(const StraightPixels& deep) {
  const std::size_t count = std::size_t(deep.width) * deep.height;
  std::vector<float> out(count * 4);
  constexpr double kScale = 65535.0 * 257.0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint16_t* s = &deep.rgba[i * 4];
    float* d = &out[i * 4];
    const double a = s[3];
    d[0] = static_cast<float>(s[2] * a / kScale);
    d[1] = static_cast<float>(s[1] * a / kScale);
    d[2] = static_cast<float>(s[0] * a / kScale);
    d[3] = static_cast<float>(a / 257.0);
  }
  return out;
}

namespace {

// v rounded to nearest (halves up) and limited to 0..65535; not-a-number gives 0.
std::uint16_t To16(double v) {
  if (!(v > 0)) return 0;
  if (v >= 65535) return 65535;
  return static_cast<std::uint16_t>(v + 0.5);
}

}  // namespace

StraightPixels FloatToDeep(const std::vector<float>& pixels, std::int32_t width,
                           std::int32_t height) {
  StraightPixels deep;
  deep.width = width;
  deep.height = height;
  deep.maxValue = 65535;
  const std::size_t count = std::size_t(width) * height;
  deep.rgba.resize(count * 4);
  for (std::size_t i = 0; i < count; ++i) {
    const float* s = &pixels[i * 4];
    std::uint16_t* d = &deep.rgba[i * 4];
    const std::uint16_t a = To16(double(s[3]) * 257.0);
    d[3] = a;
    // Colour back to straight against the rounded alpha.
    const double unpremultiply = a == 0 ? 0 : 257.0 * 65535.0 / a;
    d[0] = To16(double(s[2]) * unpremultiply);
    d[1] = To16(double(s[1]) * unpremultiply);
    d[2] = To16(double(s[0]) * unpremultiply);
  }
  return deep;
}

}  // namespace morvex::cli
