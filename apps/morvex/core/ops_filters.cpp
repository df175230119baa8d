// Local and radial filters on images (Blur3x3, EdgeDetect, RadialBlurMask).
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
