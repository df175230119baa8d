// Blending and compositing on images: Composite, Blend, MaskedBlend,
// MaskedFade, Multiply, MaskMultiply, MultiplyChannel, ClipRestore.
#include <algorithm>

#include "core/args.h"
#include <utility>

#include "core/ops.h"
#include "morvex/native.h"

namespace morvex::cli {

Image CompositeImages(Image base, const Image& overlay, std::int32_t x, std::int32_t y,
                      int mode, double opacity) {
  Image out = std::move(base);
  const std::int64_t x0 = std::max<std::int64_t>(x, 0), y0 = std::max<std::int64_t>(y, 0);
  const std::int64_t x1 = std::min<std::int64_t>(std::int64_t(x) + overlay.width, out.width);
  const std::int64_t y1 = std::min<std::int64_t>(std::int64_t(y) + overlay.height, out.height);
  if (x1 <= x0 || y1 <= y0) return out;
  RequireDone(Composite(out.At(std::int32_t(x0), std::int32_t(y0)), out.stride(),
                        overlay.At(std::int32_t(x0 - x), std::int32_t(y0 - y)), overlay.stride(),
                        std::int32_t(x1 - x0), std::int32_t(y1 - y0), mode, opacity),
              "Composite", "blend mode " + std::to_string(mode));
  return out;
}

Image BlendImages(Image base, const Image& other, double amount) {
  Image out = std::move(base);
  Blend(out.pixels.data(), out.stride(), other.pixels.data(), other.stride(), out.width,
        out.height, 1.0 - amount);
  return out;
}

Image MaskedBlendImages(Image base, const Image& other, const Image& weights, bool fade,
                        const ChannelTable* weightTable) {
  Image out = std::move(base);
  if (fade)
    MaskedFade(out.pixels.data(), out.stride(), weights.pixels.data(), weights.stride(),
               other.pixels.data(), other.stride(), out.width, out.height);
  else
    MaskedBlend(out.pixels.data(), out.stride(), weights.pixels.data(), weights.stride(),
                other.pixels.data(), other.stride(), out.width, out.height,
                weightTable ? weightTable->data() : nullptr);
  return out;
}

Image MultiplyImage(Image image, double factor) {
  Image out = std::move(image);
  Multiply(out.pixels.data(), out.stride(), out.width, out.height, factor);
  return out;
}

Image MaskMultiplyImage(Image image, const Image& weights, int dstChannel, int maskChannel,
                        double scale, double offset) {
  Image out = std::move(image);
  if (dstChannel >= 0)
    RequireDone(
        MultiplyChannel(out.pixels.data(), out.stride(), dstChannel, weights.pixels.data(),
                        weights.stride(), maskChannel, out.width, out.height, scale, offset),
        "MultiplyChannel", "channel index");
  else
    RequireDone(MaskMultiply(out.pixels.data(), out.stride(), weights.pixels.data(),
                             weights.stride(), out.width, out.height, maskChannel, scale, offset),
                "MaskMultiply", "mask channel");
  return out;
}

Image ClipRestoreImage(const Image& image, double clip, double restoreMin, bool focusPrep) {
  std::vector<float> floats(std::size_t(image.width) * image.height * 4);
  const std::int32_t floatStride = image.width * 16;
  ConvertARGBToARGBFloat(floats.data(), floatStride, image.pixels.data(), image.stride(),
                         image.width, image.height);
  (focusPrep ? FocusPrep : ClipRestore)(floats.data(), floatStride, image.width, image.height, clip,
                                        restoreMin);
  Image out(image.width, image.height);
  ConvertARGBFloatToARGB(out.pixels.data(), out.stride(), floats.data(), floatStride, image.width,
                         image.height);
  return out;
}

}  // namespace morvex::cli
