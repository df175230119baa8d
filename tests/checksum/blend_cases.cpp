// Checksum cases of the blending and compositing family.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "morvex/native.h"
#include "support/checksum.h"

namespace morvex::test {
namespace {

struct Images {
  int width, height;
  TestPlane dst, mask, src;
};

// Random sizes and shapes; each plane padded or bottom-up on its own.
Images MakeImages(Rng& rng) {
  const int width = rng.Int(0, 37), height = rng.Int(-1, 6);
  const auto ds = RandomShape(rng), ms = RandomShape(rng), ss = RandomShape(rng);
  Images im{width, height, TestPlane(width * 4, height, ds.padding, ds.bottomUp),
            TestPlane(width * 4, height, ms.padding, ms.bottomUp),
            TestPlane(width * 4, height, ss.padding, ss.bottomUp)};
  im.dst.FillRandom(rng);
  im.mask.FillRandom(rng);
  im.src.FillRandom(rng);
  if (rng.Bool()) {  // premultiplied destination and source
    for (TestPlane* p : {&im.dst, &im.src})
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
          for (int c = 0; c < 3; ++c)
            p->Row(y)[4 * x + c] = std::min(p->Row(y)[4 * x + c], p->Row(y)[4 * x + 3]);
  }
  return im;
}

// The source plane, or the destination itself (in place) one time in four.
std::pair<const std::uint8_t*, std::int32_t> Source(Rng& rng, const Images& im) {
  if (rng.Int(0, 3) == 0) return {im.dst.first(), im.dst.stride()};
  return {im.src.first(), im.src.stride()};
}

void RunBlend(Rng& rng, Hasher& hash) {
  Images im = MakeImages(rng);
  const auto [src, srcStride] = Source(rng, im);
  const double weight = rng.Int(0, 5) == 0 ? rng.Real(-40, 40) : rng.Real(-0.2, 1.2);
  hash.Value(Blend(im.dst.first(), im.dst.stride(), src, srcStride, im.width, im.height, weight));
  hash.Plane(im.dst);
}

void RunMaskedBlend(Rng& rng, Hasher& hash) {
  Images im = MakeImages(rng);
  const auto [src, srcStride] = Source(rng, im);
  TestPlane lut(1024, 1);
  lut.FillRandom(rng);
  hash.Value(MaskedBlend(im.dst.first(), im.dst.stride(), im.mask.first(), im.mask.stride(), src,
                         srcStride, im.width, im.height, rng.Bool() ? lut.first() : nullptr));
  hash.Plane(im.dst);
}

void RunMaskedFade(Rng& rng, Hasher& hash) {
  Images im = MakeImages(rng);
  const auto [src, srcStride] = Source(rng, im);
  hash.Value(MaskedFade(im.dst.first(), im.dst.stride(), im.mask.first(), im.mask.stride(), src,
                        srcStride, im.width, im.height));
  hash.Plane(im.dst);
}

void RunComposite(Rng& rng, Hasher& hash) {
  Images im = MakeImages(rng);
  const auto [src, srcStride] = Source(rng, im);
  const int mode = rng.Int(0, 8);  // 0, 2 and 8 are refused
  const double opacity = rng.Int(0, 2) == 0 ? 1.0 : rng.Real(-0.2, 1.2);
  hash.Value(Composite(im.dst.first(), im.dst.stride(), src, srcStride, im.width, im.height, mode,
                       opacity));
  hash.Plane(im.dst);
}

void RunMultiply(Rng& rng, Hasher& hash) {
  Images im = MakeImages(rng);
  const double factor = rng.Int(0, 4) == 0 ? rng.Real(-2, 3) : rng.Real(-0.01, 1.01);
  hash.Value(Multiply(im.dst.first(), im.dst.stride(), im.width, im.height, factor));
  hash.Plane(im.dst);
}

// Scale and offset inside the tolerance band, near it, or well outside.
std::pair<double, double> Remap(Rng& rng) {
  switch (rng.Int(0, 3)) {
    case 0:
      return {rng.Real(0.99985, 1.00015), rng.Real(-0.00015, 0.00015)};
    case 1:
      return {1.0, 0.0};
    case 2:
      return {rng.Real(-3, 3), rng.Real(-300, 300)};
    default:
      return {rng.Real(0, 2), rng.Real(-1, 1)};
  }
}

void RunMultiplyChannel(Rng& rng, Hasher& hash) {
  Images im = MakeImages(rng);
  const bool maskIsDst = rng.Int(0, 3) == 0;
  const auto [scale, offset] = Remap(rng);
  const std::uint32_t dc = static_cast<std::uint32_t>(rng.Int(-1, 4)),
                      mc = static_cast<std::uint32_t>(rng.Int(0, 4));
  hash.Value(MultiplyChannel(
      im.dst.first(), im.dst.stride(), dc, maskIsDst ? im.dst.first() : im.mask.first(),
      maskIsDst ? im.dst.stride() : im.mask.stride(), mc, im.width, im.height, scale, offset));
  hash.Plane(im.dst);
}

void RunMaskMultiply(Rng& rng, Hasher& hash) {
  Images im = MakeImages(rng);
  const bool maskIsDst = rng.Int(0, 3) == 0;
  const auto [scale, offset] = Remap(rng);
  hash.Value(MaskMultiply(im.dst.first(), im.dst.stride(),
                          maskIsDst ? im.dst.first() : im.mask.first(),
                          maskIsDst ? im.dst.stride() : im.mask.stride(), im.width, im.height,
                          rng.Int(-2, 4), scale, offset));
  hash.Plane(im.dst);
}

template <std::uint8_t (*kExport)(float*, std::int32_t, std::int32_t, std::int32_t, double, double)>
void RunClip(Rng& rng, Hasher& hash) {
  const int width = rng.Int(0, 23), height = rng.Int(-1, 5);
  const auto shape = RandomShape(rng);
  TestPlane plane(width * 16, height, shape.padding, shape.bottomUp);
  const double clipLevel = rng.Real(-0.1, 1.1), restoreMin = rng.Real(-0.1, 1.1);
  const float specials[] = {
      std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
      -std::numeric_limits<float>::infinity(), -0.0f,
      static_cast<float>(clipLevel * 255.0),   static_cast<float>(restoreMin * 255.0)};
  for (int y = 0; y < height; ++y)
    for (int i = 0; i < width * 4; ++i) {
      const float v =
          rng.Int(0, 7) == 0 ? specials[rng.Int(0, 5)] : static_cast<float>(rng.Real(-20, 300));
      std::memcpy(plane.Row(y) + 4 * i, &v, 4);
    }
  hash.Value(kExport(reinterpret_cast<float*>(plane.first()), plane.stride(), width, height,
                     clipLevel, restoreMin));
  hash.Plane(plane);
}

MORVEX_CHECKSUM_CASE({"Blend", &RunBlend, 0x7e22eb6af87e41d4});
MORVEX_CHECKSUM_CASE({"MaskedBlend", &RunMaskedBlend, 0x556adac9630ce822});
MORVEX_CHECKSUM_CASE({"MaskedFade", &RunMaskedFade, 0x358d67b7f640a2e0});
MORVEX_CHECKSUM_CASE({"Composite", &RunComposite, 0xbac158022cf6ad95});
MORVEX_CHECKSUM_CASE({"Multiply", &RunMultiply, 0x97dcaf1f0f1ac88});
MORVEX_CHECKSUM_CASE({"MultiplyChannel", &RunMultiplyChannel, 0xf13394f71b16cfba});
MORVEX_CHECKSUM_CASE({"MaskMultiply", &RunMaskMultiply, 0x8a983bae72148664});
MORVEX_CHECKSUM_CASE({"ClipRestore", &RunClip<&ClipRestore>, 0x9460739aaf6fb912});
MORVEX_CHECKSUM_CASE({"FocusPrep", &RunClip<&FocusPrep>, 0x92a5a42f15f936b8});

}  // namespace
}  // namespace morvex::test
