// Local and radial filters on images (Blur3x3, EdgeDetect, RadialBlurMask).
#include <algorithm>
#include <cmath>
#include <vector>

#include "core/ops.h"
#include "morvex/native.h"

namespace morvex::cli {

Image Blur3x3Image(const Image& image, int passes, Progress* progress) {
  Image a = image, b(image.width, image.height);
  // The filter reads a separate source; passes alternate between two images.
  for (int i = 0; i < passes; ++i) {
    if (progress && passes > 1)
      progress->Stage("pass " + std::to_string(i + 1) + " of " + std::to_string(passes) +
                      " (Blur3x3)");
    Blur3x3(b.pixels.data(), b.stride(), a.pixels.data(), a.stride(), a.width, a.height);
    std::swap(a, b);
  }
  return a;
}

Image DetectEdges(const Image& image, bool gray, double threshold) {
  Image out(image.width, image.height);
  EdgeDetect(out.pixels.data(), out.stride(), image.pixels.data(), image.stride(), image.width,
             image.height, gray ? 1u : 0u, threshold);
  return out;
}

double RadialSamplesPerElement(std::int32_t width, std::int32_t height, const RadialBlur& r) {
  if (width <= 0 || height <= 0) return 0;
  // Each element takes ceil(max(|dx|, |dy|)) samples (one where that is 0);
  // dx depends on the column alone and dy on the row alone.
  const double kx = std::fabs(1 - 1 / r.scaleX), ky = std::fabs(1 - 1 / r.scaleY);
  std::vector<double> dx(static_cast<std::size_t>(width));
  for (std::int32_t x = 0; x < width; ++x) dx[std::size_t(x)] = std::fabs(x - r.centerX) * kx;
  double total = 0;
  for (std::int32_t y = 0; y < height; ++y) {
    const double dy = std::fabs(y - r.centerY) * ky;
    for (double d : dx) total += std::max(1.0, std::ceil(std::max(d, dy)));
  }
  return total / (double(width) * height);
}

Image RadialBlurImage(const Image& image, const RadialBlur& r, unsigned channels,
                      Progress* progress) {
  Image out = image;
  const int count = __builtin_popcount(channels & 15);
  int done = 0;
  for (int c = 0; c < 4; ++c)
    if (channels >> c & 1) {
      if (progress)
        progress->Stage(std::string(kChannelNames[c]) + " channel, " + std::to_string(++done) +
                        " of " + std::to_string(count) + " (RadialBlurMask)");
      RadialBlurMask(out.pixels.data() + c, out.stride(), 4, image.pixels.data() + c,
                     image.stride(), 4, image.width, image.height, r.centerX, r.centerY, r.scaleX,
                     r.scaleY, r.gain);
    }
  return out;
}

}  // namespace morvex::cli
