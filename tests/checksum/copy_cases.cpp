// Checksum cases of the copy family.
#include "morvex/native.h"
#include "support/checksum.h"

namespace morvex::test {
namespace {

void RunBitmapCopy(Rng& rng, Hasher& hash) {
  const int elementBytes = rng.Int(1, 16), width = rng.Int(0, 23), height = rng.Int(-1, 9);
  const auto ds = RandomShape(rng), ss = RandomShape(rng);
  TestPlane dst(elementBytes * width + rng.Int(0, 5), height, ds.padding, ds.bottomUp);
  TestPlane src(elementBytes * width, height, ss.padding, ss.bottomUp);
  dst.FillRandom(rng);
  src.FillRandom(rng);
  hash.Value(BitmapCopy(dst.first(), dst.stride(), src.first(), src.stride(), elementBytes, width,
                        height));
  hash.Plane(dst);
}

void RunChannelCopy(Rng& rng, Hasher& hash) {
  const int dstStep = rng.Int(1, 4), srcStep = rng.Int(1, 4);
  const int width = rng.Int(0, 37), height = rng.Int(-1, 9);
  const auto ds = RandomShape(rng), ss = RandomShape(rng);
  TestPlane dst(dstStep * width + 3, height, ds.padding, ds.bottomUp);
  TestPlane src(srcStep * width + 3, height, ss.padding, ss.bottomUp);
  dst.FillRandom(rng);
  src.FillRandom(rng);
  hash.Value(ChannelCopy(dst.first() + rng.Int(0, 3), dst.stride(), dstStep, width, height,
                         src.first() + rng.Int(0, 3), src.stride(), srcStep));
  hash.Plane(dst);
}

MORVEX_CHECKSUM_CASE({"BitmapCopy", &RunBitmapCopy, 0xbcc240c637c7bcc4});
MORVEX_CHECKSUM_CASE({"ChannelCopy", &RunChannelCopy, 0xb2e5bca013671011});

}  // namespace
}  // namespace morvex::test
