// Checksum cases of the Gaussian blur family.
#include <cstring>
#include <vector>

#include "frame/fpu.h"
#include "morvex/native.h"
#include "support/checksum.h"

namespace morvex::test {
namespace {

double Sigma(Rng& rng) {
  switch (rng.Int(0, 4)) {
    case 0:
      return rng.Real(-2.0, 0.7);
    case 1:
      return rng.Real(40.0, 70.0);
    default:
      return rng.Real(0.5, 9.0);
  }
}

// Sigma arrays stored one byte off alignment.
std::vector<std::uint8_t> SigmaBytes(Rng& rng, int n) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(n) * 8 + 1);
  for (int i = 0; i < n; ++i) {
    const double s = Sigma(rng);
    std::memcpy(bytes.data() + 1 + i * 8, &s, 8);
  }
  return bytes;
}

// A host rounding mode for the call; the previous one is restored after.
class HostRounding {
 public:
  explicit HostRounding(Rng& rng) : saved_(ControlFloatingPoint(0, 0)) {
    const std::uint32_t modes[] = {kFpRoundNearest, kFpRoundDown, kFpRoundUp, kFpRoundTowardZero};
    ControlFloatingPoint(modes[rng.Int(0, 3)], kFpRoundingField);
  }
  ~HostRounding() { ControlFloatingPoint(saved_, kFpRoundingField); }

 private:
  std::uint32_t saved_;
};

void RunGaussianBlur(Rng& rng, Hasher& hash) {
  const int format = rng.Int(0, 15) == 0 ? 8 : (rng.Bool() ? 4 : 16);
  const int width = rng.Int(-1, 40), height = rng.Int(-1, 30);
  const int w = width > 0 ? width : 0, h = height > 0 ? height : 0;
  const auto shape = RandomShape(rng);
  TestPlane plane(w * 16 + rng.Int(0, 3), h, shape.padding, shape.bottomUp);
  plane.FillRandom(rng);
  if (format == 16) {
    for (int r = 0; r < h; ++r)
      for (int i = 0; i < w * 4; ++i)
        plane.Set<float>(i * 4, r, static_cast<float>(rng.Real(-20, 300)));
  }
  const int needed = w * h * 16;
  const int tempBytes = rng.Int(0, 9) == 0 ? needed - 1 : needed + rng.Int(0, 5);
  TestPlane temp(needed + 8, 1);
  temp.FillRandom(rng);
  const int misalign = rng.Int(0, 3);
  const auto rows = SigmaBytes(rng, h), columns = SigmaBytes(rng, w);
  const bool useRows = rng.Int(0, 3) == 0, useColumns = rng.Int(0, 3) == 0;
  const HostRounding rounding(rng);
  hash.Value(
      GaussianBlur(plane.first(), plane.stride(), format, width, height,
                   reinterpret_cast<float*>(temp.first() + misalign), tempBytes, Sigma(rng),
                   Sigma(rng), useRows ? reinterpret_cast<const double*>(rows.data() + 1) : nullptr,
                   useColumns ? reinterpret_cast<const double*>(columns.data() + 1) : nullptr));
  hash.Plane(plane);
  hash.Plane(temp);
}

void RunGaussianBlurMask(Rng& rng, Hasher& hash) {
  const int format = rng.Int(0, 15) == 0 ? 2 : (rng.Bool() ? 1 : 4);
  const int channel = format == 4 ? rng.Int(0, 3) : 0;
  const int width = rng.Int(-1, 70), height = rng.Int(-1, 40);
  const int w = width > 0 ? width : 0, h = height > 0 ? height : 0;
  const auto shape = RandomShape(rng);
  TestPlane plane(w * 4 + rng.Int(0, 3), h, shape.padding, shape.bottomUp);
  plane.FillRandom(rng);
  const int needed = w * h * 4;
  const int tempBytes = rng.Int(0, 9) == 0 ? needed - 1 : needed + rng.Int(0, 5);
  TestPlane temp(needed + 8, 1);
  temp.FillRandom(rng);
  const int misalign = rng.Int(0, 3);
  const auto rows = SigmaBytes(rng, h), columns = SigmaBytes(rng, w);
  const bool useRows = rng.Int(0, 3) == 0, useColumns = rng.Int(0, 3) == 0;
  double scale = 1, offset = 0;
  switch (rng.Int(0, 3)) {
    case 0:
      break;
    case 1:
      scale = -1, offset = 255;
      break;
    case 2:
      scale = 0, offset = rng.Int(-5, 260) + 0.5;
      break;
    default:
      scale = rng.Real(-3, 3), offset = rng.Real(-200, 300);
      break;
  }
  const HostRounding rounding(rng);
  hash.Value(GaussianBlurMask(
      plane.first() + channel, plane.stride(), format, width, height,
      reinterpret_cast<float*>(temp.first() + misalign), tempBytes, Sigma(rng), Sigma(rng), scale,
      offset, useRows ? reinterpret_cast<const double*>(rows.data() + 1) : nullptr,
      useColumns ? reinterpret_cast<const double*>(columns.data() + 1) : nullptr));
  hash.Plane(plane);
  hash.Plane(temp);
}

MORVEX_CHECKSUM_CASE({"GaussianBlur", &RunGaussianBlur, 0x96dc401b165f50cf, 0xb6afb0abb067dafe});
MORVEX_CHECKSUM_CASE({"GaussianBlurMask", &RunGaussianBlurMask, 0x6a2d951979d6e227});

}  // namespace
}  // namespace morvex::test
