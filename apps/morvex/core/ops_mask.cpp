// Float masks and shear (GenerateNoiseMask, MultiplyMasks, ScaleMask, Shear).
#include <cmath>

#include "core/args.h"
#include "core/ops.h"
#include "morvex/native.h"

namespace morvex::cli {

FloatMask NoiseMask(std::int32_t width, std::int32_t height, float low, float high,
                    std::uint32_t seed) {
  FloatMask mask(width, height);
  GenerateNoiseMask(mask.values.data(), mask.stride(), width, height, low, high, seed);
  return mask;
}

void MultiplyMaskBy(FloatMask& mask, const FloatMask& factor) {
  MultiplyMasks(mask.values.data(), mask.stride(), factor.values.data(), factor.stride(),
                mask.width, mask.height);
}

void ScaleMaskOnto(FloatMask& onto, const MaskRect& to, const FloatMask& from, const MaskRect& f,
                   int mode, float amount) {
  RequireDone(ScaleMask(onto.values.data(), onto.stride(), onto.width, onto.height, to.x, to.y,
                        to.width, to.height, from.values.data(), from.stride(), from.width,
                        from.height, f.x, f.y, f.width, f.height, mode, amount),
              "ScaleMask",
              "the target rectangle, clipped to both masks, is 1 pixel or less wide or high");
}

Image ShearImage(const Image& image, int direction, double factor) {
  const bool vertical = direction == 0 || direction == 3;
  const std::int32_t length = vertical ? image.height : image.width;
  const std::int32_t lines = vertical ? image.width : image.height;
  const double extent = std::ceil(length + std::fabs((lines - 1) * factor));
  if (!(extent <= kMaxDimension))
    throw CliError("the sheared image would be " + std::to_string(extent) +
                   " pixels long; use a smaller factor");
  const std::int32_t sheared = static_cast<std::int32_t>(extent);
  if (std::int64_t(sheared) * lines > kMaxPixels)
    throw CliError("the sheared image would be " + std::to_string(sheared) + "x" +
                   std::to_string(lines) + " pixels, beyond the limit of " +
                   std::to_string(kMaxPixels / 1000000) + " megapixels; use a smaller factor");
  Image out(vertical ? image.width : sheared, vertical ? sheared : image.height);
  Shear(image.pixels.data(), image.stride(), image.width, image.height, out.pixels.data(),
        out.stride(), out.width, out.height, static_cast<std::uint32_t>(direction), factor);
  return out;
}

}  // namespace morvex::cli
