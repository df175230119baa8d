// Checksum cases of the local and radial filter family.
#include <limits>

#include "morvex/native.h"
#include "support/checksum.h"

namespace morvex::test {
namespace {

void RunBlur3x3(Rng& rng, Hasher& hash) {
  const int width = rng.Int(0, 70), height = rng.Int(-1, 9);
  const auto ds = RandomShape(rng), ss = RandomShape(rng);
  TestPlane dst(4 * width, height, ds.padding, ds.bottomUp);
  TestPlane src(4 * width, height, ss.padding, ss.bottomUp);
  dst.FillRandom(rng);
  src.FillRandom(rng);
  hash.Value(Blur3x3(dst.first(), dst.stride(), src.first(), src.stride(), width, height));
  hash.Plane(dst);
}

double EdgeThresholdArgument(Rng& rng) {
  switch (rng.Int(0, 5)) {
    case 0:
      return std::numeric_limits<double>::quiet_NaN();
    case 1:
      return rng.Real(-2, 3);
    case 2:
      return rng.Int(-2, 260) / 255.0;
    default:
      return rng.Real(0, 0.5);
  }
}

void RunEdgeDetect(Rng& rng, Hasher& hash) {
  const int width = rng.Int(-1, 70), height = rng.Int(-1, 9);
  const auto ds = RandomShape(rng), ss = RandomShape(rng);
  TestPlane dst(4 * (width > 0 ? width : 1), height, ds.padding, ds.bottomUp);
  TestPlane src(4 * (width > 0 ? width : 1), height, ss.padding, ss.bottomUp);
  dst.FillRandom(rng);
  src.FillRandom(rng);
  // Some planes with nearby values only, so mid-range thresholds split them,
  // and some with 0 and 255 only, the extreme strengths.
  const int values = rng.Int(0, 2);
  for (int y = 0; y < src.rows() && values != 0; ++y)
    for (int i = 0; i < src.rowBytes(); ++i) {
      const std::uint8_t v = src.Row(y)[i];
      src.Row(y)[i] = values == 1 ? static_cast<std::uint8_t>(v >> 2) : (v & 1) * 255;
    }
  const std::uint32_t single = rng.U32() & 0x101u;
  hash.Value(EdgeDetect(dst.first(), dst.stride(), src.first(), src.stride(), width, height, single,
                        EdgeThresholdArgument(rng)));
  hash.Plane(dst);
}

void RunRadialBlurMask(Rng& rng, Hasher& hash) {
  const int width = rng.Int(0, 23), height = rng.Int(-1, 17);
  const int dstStep = rng.Int(1, 4), srcStep = rng.Int(1, 4);
  const auto ds = RandomShape(rng), ss = RandomShape(rng);
  TestPlane dst(dstStep * width + 3, height, ds.padding, ds.bottomUp);
  TestPlane src(srcStep * width + 3, height, ss.padding, ss.bottomUp);
  dst.FillRandom(rng);
  src.FillRandom(rng);
  const double cx = rng.Bool() ? rng.Int(-5, width + 5) : rng.Real(-width, 2.0 * width);
  const double cy = rng.Bool() ? rng.Int(-5, height + 5) : rng.Real(-height, 2.0 * height);
  const double sx = rng.Int(0, 3) == 0 ? 1.0 : rng.Real(0.4, 4),
               sy = rng.Int(0, 3) == 0 ? 1.0 : rng.Real(0.4, 4);
  const double gain = rng.Bool() ? 1.0 : rng.Real(-1, 3);
  const int dstOffset = rng.Int(0, 3), srcOffset = rng.Int(0, 3);
  hash.Value(RadialBlurMask(dst.first() + dstOffset, dst.stride(), dstStep, src.first() + srcOffset,
                            src.stride(), srcStep, width, height, cx, cy, sx, sy, gain));
  hash.Plane(dst);
}

MORVEX_CHECKSUM_CASE({"Blur3x3", &RunBlur3x3, 0xb8df4bc11fb14c69});
MORVEX_CHECKSUM_CASE({"EdgeDetect", &RunEdgeDetect, 0x830a83f7c87f8052});
MORVEX_CHECKSUM_CASE({"RadialBlurMask", &RunRadialBlurMask, 0x1b0421b4b254bb56});

}  // namespace
}  // namespace morvex::test
