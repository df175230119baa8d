// Gaussian blur of images and of one channel (GaussianBlur, GaussianBlurMask).
#include "core/args.h"
#include "core/ops.h"
#include "morvex/native.h"

namespace morvex::cli {

std::vector<double> SigmaRamp(bool on, double from, double to, std::int32_t count) {
  std::vector<double> sigmas;
  if (!on) return sigmas;
  for (std::int32_t i = 0; i < count; ++i)
    sigmas.push_back(count > 1 ? from + (to - from) * i / (count - 1) : from);
  return sigmas;
}

namespace {

// The intermediate both blur exports need: `floatsPerElement` floats per
// pixel, and its size in bytes (the images are small enough for 32 bits).
std::vector<float> Intermediate(const Image& image, int floatsPerElement, std::int32_t* bytes) {
  const std::size_t count = std::size_t(image.width) * image.height * floatsPerElement;
  *bytes = static_cast<std::int32_t>(count * sizeof(float));
  return std::vector<float>(count);
}

const double* OrNull(const std::vector<double>& v) { return v.empty() ? nullptr : v.data(); }

}  // namespace

Image BlurImage(const Image& image, const BlurSigmas& s, bool floatPrecision, Progress* progress) {
  Image out = image;
  std::int32_t tempBytes;
  std::vector<float> temp = Intermediate(image, 4, &tempBytes);
  const auto rows = SigmaRamp(s.rowRamp, s.rowFrom, s.rowTo, image.height);
  const auto columns = SigmaRamp(s.columnRamp, s.columnFrom, s.columnTo, image.width);
  if (floatPrecision) {
    std::vector<float> floats(std::size_t(image.width) * image.height * 4);
    // GaussianBlur takes either format through a byte pointer.
    auto* bytes = reinterpret_cast<std::uint8_t*>(floats.data());
    const std::int32_t floatStride = image.width * 16;
    if (progress) progress->Stage("to float (ConvertARGBToARGBFloat)");
    ConvertARGBToARGBFloat(floats.data(), floatStride, image.pixels.data(), image.stride(),
                           image.width, image.height);
    if (progress) progress->Stage("blurring the float image (GaussianBlur)");
    RequireDone(GaussianBlur(bytes, floatStride, 16, image.width, image.height, temp.data(),
                             tempBytes, s.x, s.y, OrNull(rows), OrNull(columns)),
                "GaussianBlur", "float image");
    if (progress) progress->Stage("back to bytes (ConvertARGBFloatToARGB)");
    ConvertARGBFloatToARGB(out.pixels.data(), out.stride(), floats.data(), floatStride, image.width,
                           image.height);
    return out;
  }
  if (progress)
    progress->Stage("blurring " + std::to_string(image.width) + "x" +
                    std::to_string(image.height) + " pixels (GaussianBlur)");
  RequireDone(GaussianBlur(out.pixels.data(), out.stride(), 4, out.width, out.height, temp.data(),
                           tempBytes, s.x, s.y, OrNull(rows), OrNull(columns)),
              "GaussianBlur", "8-bit image");
  return out;
}

Image BlurChannel(const Image& image, int channel, const BlurSigmas& s, double scale,
                  double offset) {
  Image out = image;
  std::int32_t tempBytes;
  std::vector<float> temp = Intermediate(image, 1, &tempBytes);
  const auto rows = SigmaRamp(s.rowRamp, s.rowFrom, s.rowTo, image.height);
  const auto columns = SigmaRamp(s.columnRamp, s.columnFrom, s.columnTo, image.width);
  RequireDone(GaussianBlurMask(out.pixels.data() + channel, out.stride(), 4, out.width, out.height,
                               temp.data(), tempBytes, s.x, s.y, scale, offset, OrNull(rows),
                               OrNull(columns)),
              "GaussianBlurMask", "one channel of the image");
  return out;
}

}  // namespace morvex::cli
