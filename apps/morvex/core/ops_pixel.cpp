// Lookup tables and float-mask conversions on images (Lut, LutWithAlphaClamp,
// ChannelMap, ChannelMapEx, ChannelMergeLut, ConvertChannelToFloatMask,
// ConvertFloatMaskToARGB).
#include <utility>

#include "core/ops.h"
#include "morvex/native.h"

namespace morvex::cli {

Image ApplyTable(Image image, const ChannelTable& table, bool clampToAlpha) {
  Image out = std::move(image);
  if (clampToAlpha)
    LutWithAlphaClamp(out.pixels.data(), out.stride(), out.width, out.height, table.data());
  else
    Lut(out.pixels.data(), out.stride(), out.width, out.height, table.data());
  return out;
}

Image GradientMap(const Image& image, MapSource source, const PixelTable& table) {
  Image out(image.width, image.height);
  switch (source) {
    case MapSource::kSumColor:
    case MapSource::kSumAll:
      out = image;
      ChannelMergeLut(out.pixels.data(), out.stride(), source == MapSource::kSumAll ? 4 : 3,
                      out.width, out.height, table.data());
      return out;
    case MapSource::kLuma:
      out = image;
      Desaturate(out.pixels.data(), out.stride(), out.width, out.height, 0);
      RequireDone(
          ChannelMap(out.pixels.data(), out.stride(), 0, out.width, out.height, table.data()),
          "ChannelMap", "luminance in the blue channel");
      return out;
    default:
      RequireDone(
          ChannelMapEx(out.pixels.data(), out.stride(), image.pixels.data(), image.stride(),
                       static_cast<std::int32_t>(source), image.width, image.height, table.data()),
          "ChannelMapEx", "channel index");
      return out;
  }
}

FloatMask ChannelToMask(const Image& image, int channel) {
  float identity[256];
  for (int i = 0; i < 256; ++i) identity[i] = static_cast<float>(i);
  FloatMask mask(image.width, image.height);
  ConvertChannelToFloatMask(mask.values.data(), mask.stride(), image.pixels.data(), image.stride(),
                            channel, image.width, image.height, identity);
  return mask;
}

Image MaskToGray(const FloatMask& mask, bool opaque) {
  Image out(mask.width, mask.height);
  ConvertFloatMaskToARGB(out.pixels.data(), out.stride(), mask.values.data(), mask.stride(),
                         mask.width, mask.height);
  if (opaque)
    for (std::size_t i = 3; i < out.pixels.size(); i += 4) out.pixels[i] = 255;
  return out;
}

}  // namespace morvex::cli
