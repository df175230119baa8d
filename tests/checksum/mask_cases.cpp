// Checksum cases of the mask generation and geometry family.
#include <cmath>
#include <cstring>
#include <limits>

#include "morvex/native.h"
#include "support/checksum.h"

namespace morvex::test {
namespace {

// A float-mask plane of random finite values.
void FillMask(TestPlane& plane, Rng& rng, double lo, double hi) {
  for (int y = 0; y < plane.rows(); ++y)
    for (int x = 0; x + 4 <= plane.rowBytes(); x += 4)
      plane.Set<float>(x, y, static_cast<float>(rng.Real(lo, hi)));
}

void RunGenerateNoiseMask(Rng& rng, Hasher& hash) {
  const int width = rng.Int(-1, 70), height = rng.Int(-1, 6);
  const auto s = RandomShape(rng);
  TestPlane dst(4 * (width > 0 ? width : 0) + 4 * rng.Int(0, 2), height, s.padding, s.bottomUp);
  dst.FillRandom(rng);
  const float low = static_cast<float>(rng.Real(-1e3, 1e3)), high = static_cast<float>(rng.Real(-1e3, 1e3));
  hash.Value(GenerateNoiseMask(reinterpret_cast<float*>(dst.first()), dst.stride(), width, height,
                               low, high, rng.U32()));
  hash.Plane(dst);
}

void RunMultiplyMasks(Rng& rng, Hasher& hash) {
  const int width = rng.Int(-1, 70), height = rng.Int(-1, 6);
  const int rowBytes = 4 * (width > 0 ? width : 0);
  const auto ds = RandomShape(rng), ss = RandomShape(rng);
  TestPlane dst(rowBytes, height, ds.padding, ds.bottomUp);
  TestPlane src(rowBytes, height, ss.padding, ss.bottomUp);
  FillMask(dst, rng, -1e4, 1e4);
  FillMask(src, rng, -3, 3);
  const bool inPlace = rng.Int(0, 3) == 0;
  const TestPlane& factor = inPlace ? dst : src;
  hash.Value(MultiplyMasks(reinterpret_cast<float*>(dst.first()), dst.stride(),
                           reinterpret_cast<const float*>(factor.first()), factor.stride(), width,
                           height));
  hash.Plane(dst);
}

float Coordinate(Rng& rng, int size) {
  switch (rng.Int(0, 9)) {
    case 0:
      return static_cast<float>(rng.Int(-1, size));
    case 1:
      return std::nextafter(static_cast<float>(rng.Int(0, size)), rng.Bool() ? 1e9f : -1e9f);
    default:
      return static_cast<float>(rng.Real(-0.2 * size, 0.7 * size));
  }
}

// Sizes from 0, mostly at least 2.
int PlaneSize(Rng& rng, int most) { return rng.Int(0, 15) == 0 ? rng.Int(0, 1) : rng.Int(2, most); }

void RunScaleMask(Rng& rng, Hasher& hash) {
  const int dw = PlaneSize(rng, 40), dh = PlaneSize(rng, 7), sw = PlaneSize(rng, 40), sh = PlaneSize(rng, 7);
  const auto ds = RandomShape(rng), ss = RandomShape(rng);
  TestPlane dst(4 * dw, dh, ds.padding, ds.bottomUp), src(4 * sw, sh, ss.padding, ss.bottomUp);
  FillMask(dst, rng, -100, 100);
  FillMask(src, rng, -100, 100);
  const float dx = Coordinate(rng, dw), dy = Coordinate(rng, dh);
  const float dwr = static_cast<float>(rng.Real(0.5, 1.2 * dw + 2)), dhr = static_cast<float>(rng.Real(0.5, 1.2 * dh + 2));
  const float sx = Coordinate(rng, sw), sy = Coordinate(rng, sh);
  const float swr = static_cast<float>(rng.Real(0.5, 1.2 * sw + 2)), shr = static_cast<float>(rng.Real(0.5, 1.2 * sh + 2));
  const int mode = rng.Int(-1, 3);
  const float amount = static_cast<float>(rng.Real(-0.5, 1.5));
  hash.Value(ScaleMask(reinterpret_cast<float*>(dst.first()), dst.stride(), dw, dh, dx, dy, dwr, dhr,
                       reinterpret_cast<const float*>(src.first()), src.stride(), sw, sh, sx, sy, swr,
                       shr, mode, amount));
  hash.Plane(dst);
}

void RunShear(Rng& rng, Hasher& hash) {
  const std::uint32_t direction = static_cast<std::uint32_t>(rng.Int(0, 4));
  const double factor = rng.Int(0, 9) == 0 ? rng.Int(-2, 2) * 0.5 : rng.Real(-3, 3);
  const bool horizontal = direction == 1 || direction == 2;
  const int lines = rng.Int(0, 12), length = rng.Int(1, 40);
  // Mostly planes that hold the sheared extent; sometimes smaller ones.
  int dstLength = static_cast<int>(std::ceil(length + std::fabs(factor) * (lines > 0 ? lines - 1 : 0)));
  dstLength += rng.Int(0, 3) == 0 ? -rng.Int(0, dstLength) : rng.Int(0, 3);
  const int srcLines = rng.Int(0, 4) == 0 ? rng.Int(1, lines + 1) : lines + rng.Int(0, 2);
  const int sw = horizontal ? length : srcLines, sh = horizontal ? srcLines : length;
  const int dw = horizontal ? dstLength : lines, dh = horizontal ? lines : dstLength;
  const auto ds = RandomShape(rng), ss = RandomShape(rng);
  TestPlane src(4 * sw, sh, ss.padding, ss.bottomUp), dst(4 * dw, dh, ds.padding, ds.bottomUp);
  src.FillRandom(rng);
  dst.FillRandom(rng);
  // A horizontal shear reads dstHeight source rows whatever srcHeight says:
  // the rows past the source's last are supplied as copies of it.
  const int rows = horizontal && sh > 0 && dh > sh ? dh : sh;
  TestPlane supplied(4 * sw, rows, ss.padding, ss.bottomUp);
  for (int y = 0; y < rows; ++y)
    std::memcpy(supplied.Row(y), src.Row(y < sh ? y : sh - 1), static_cast<std::size_t>(4 * sw));
  hash.Value(Shear(supplied.first(), supplied.stride(), sw, sh, dst.first(), dst.stride(), dw, dh,
                   direction, factor));
  hash.Plane(dst);
}

MORVEX_CHECKSUM_CASE({"GenerateNoiseMask", &RunGenerateNoiseMask, 0x1b1ac25349099f8c});
MORVEX_CHECKSUM_CASE({"MultiplyMasks", &RunMultiplyMasks, 0xd913a7f342dbfa59});
MORVEX_CHECKSUM_CASE({"ScaleMask", &RunScaleMask, 0xf8ab9c65d6bcaaa8, 0, 256});
MORVEX_CHECKSUM_CASE({"Shear", &RunShear, 0xb1cc0438af7341d7});

}  // namespace
}  // namespace morvex::test
