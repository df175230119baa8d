#include "core/layers.h"

#include <algorithm>
#include <utility>

#include "core/ops.h"
#include "morvex/native.h"

namespace morvex::cli {
namespace {

// A w x h rectangle of `image` from (x, y), copied (BitmapCopy).
Image Crop(const Image& image, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) {
  Image out(w, h);
  BitmapCopy(out.pixels.data(), out.stride(), image.At(x, y), image.stride(), 4, w, h);
  return out;
}

// The straight colours made opaque: alpha 255 everywhere.
Image Opaque(Image image) {
  for (std::size_t i = 3; i < image.pixels.size(); i += 4) image.pixels[i] = 255;
  return image;
}

// Every pixel's alpha in all four bytes, as a weight plane (ChannelCopy).
Image AlphaWeights(const Image& image) {
  Image out(image.width, image.height);
  const std::int32_t n = image.width * image.height;
  for (int k = 0; k < 4; ++k)
    ChannelCopy(out.pixels.data() + k, 0, 4, n, 1, image.pixels.data() + 3, 0, 4);
  return out;
}

Image Premultiplied(Image image) {
  PremultiplyInPlace(image.pixels.data(), image.pixels.size() / 4);
  return image;
}

// Colours mixed straight by `mix` (a result of the same size), then the
// base's alpha put back and the whole premultiplied.
Image WithBaseAlpha(Image mixed, const Image& base) {
  const std::int32_t n = base.width * base.height;
  ChannelCopy(mixed.pixels.data() + 3, 0, 4, n, 1, base.pixels.data() + 3, 0, 4);
  return Premultiplied(std::move(mixed));
}

}  // namespace

Image CompositeLayer(Image base, const Image& layer, std::int32_t x, std::int32_t y, int mode,
                     double opacity) {
  const std::int64_t x0 = std::max<std::int64_t>(x, 0), y0 = std::max<std::int64_t>(y, 0);
  const std::int64_t x1 = std::min<std::int64_t>(std::int64_t(x) + layer.width, base.width);
  const std::int64_t y1 = std::min<std::int64_t>(std::int64_t(y) + layer.height, base.height);
  if (x1 <= x0 || y1 <= y0) return Premultiplied(std::move(base));
  const auto bx = std::int32_t(x0), by = std::int32_t(y0);
  const auto w = std::int32_t(x1 - x0), h = std::int32_t(y1 - y0);
  const Image backdrop = Crop(base, bx, by, w, h);
  Image out = Premultiplied(std::move(base));
  const Image source = Crop(layer, std::int32_t(x0 - x), std::int32_t(y0 - y), w, h);
  // B(Cb, Cs): the mode on the two opaque straight colours.
  Image blended = Opaque(backdrop);
  const Image sourceColour = Opaque(source);
  RequireDone(Composite(blended.pixels.data(), blended.stride(), sourceColour.pixels.data(),
                        sourceColour.stride(), w, h, mode, 1.0),
              "Composite", "blend mode " + std::to_string(mode));
  // Cs' = Cs + ab (B - Cs), then premultiplied by the layer's alpha.
  Image mixed = sourceColour;
  const Image backdropAlpha = AlphaWeights(backdrop);
  MaskedBlend(mixed.pixels.data(), mixed.stride(), backdropAlpha.pixels.data(),
              backdropAlpha.stride(), blended.pixels.data(), blended.stride(), w, h, nullptr);
  mixed = WithBaseAlpha(std::move(mixed), source);
  // Source-over, with the opacity.
  RequireDone(Composite(out.At(bx, by), out.stride(), mixed.pixels.data(), mixed.stride(), w, h, 1,
                        opacity),
              "Composite", "normal mode");
  return out;
}

Image BlendLayer(const Image& base, const Image& other, double amount) {
  Image blended = Opaque(base);
  const Image otherColour = Opaque(other);
  Blend(blended.pixels.data(), blended.stride(), otherColour.pixels.data(), otherColour.stride(),
        base.width, base.height, 1.0 - amount);
  Image mixed = Opaque(base);
  const Image coverage = AlphaWeights(other);
  MaskedBlend(mixed.pixels.data(), mixed.stride(), coverage.pixels.data(), coverage.stride(),
              blended.pixels.data(), blended.stride(), base.width, base.height, nullptr);
  return WithBaseAlpha(std::move(mixed), base);
}

Image MaskedBlendLayer(const Image& base, const Image& other, const Image& weights,
                       const ChannelTable* weightTable) {
  Image shares = weights;
  if (weightTable) {
    // The curves remap the colour samples; the weight image's alpha stays.
    ChannelTable table = *weightTable;
    for (int i = 0; i < 256; ++i) table[i * 4 + 3] = std::uint8_t(i);
    Lut(shares.pixels.data(), shares.stride(), shares.width, shares.height, table.data());
  }
  // Times the weight image's alpha, then times other's alpha (MaskMultiply
  // by one channel, rounded).
  MaskMultiply(shares.pixels.data(), shares.stride(), weights.pixels.data(), weights.stride(),
               shares.width, shares.height, 3, 1, 0);
  MaskMultiply(shares.pixels.data(), shares.stride(), other.pixels.data(), other.stride(),
               shares.width, shares.height, 3, 1, 0);
  Image mixed = Opaque(base);
  const Image otherColour = Opaque(other);
  MaskedBlend(mixed.pixels.data(), mixed.stride(), shares.pixels.data(), shares.stride(),
              otherColour.pixels.data(), otherColour.stride(), base.width, base.height, nullptr);
  return WithBaseAlpha(std::move(mixed), base);
}

Image CoveredWeights(const Image& weights, bool keepAlpha) {
  Image out(weights.width, weights.height);
  std::fill(out.pixels.begin(), out.pixels.end(), std::uint8_t(255));
  const Image coverage = AlphaWeights(weights);
  MaskedBlend(out.pixels.data(), out.stride(), coverage.pixels.data(), coverage.stride(),
              weights.pixels.data(), weights.stride(), out.width, out.height, nullptr);
  if (keepAlpha) {
    const std::int32_t n = weights.width * weights.height;
    ChannelCopy(out.pixels.data() + 3, 0, 4, n, 1, weights.pixels.data() + 3, 0, 4);
  }
  return out;
}

}  // namespace morvex::cli
