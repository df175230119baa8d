#include "blend/composite.h"

#include "frame/convert.h"
#include "frame/cpu_features.h"

namespace morvex::blend {
namespace {

template <CompositeMode kMode>
struct CompositeRowPlain {
  static void Run(Byte* dst, const Byte* src, std::int32_t width, std::uint8_t o) {
    if (o == 255) {
      for (std::int32_t x = 0; x < width; ++x, dst += 4, src += 4)
        CompositePixelOpaque<kMode>(dst, src);
      return;
    }
    for (std::int32_t x = 0; x < width; ++x, dst += 4, src += 4)
      CompositePixelMix<kMode>(dst, src, o);
  }
};

}  // namespace

bool IsCompositeMode(std::int32_t mode) {
  switch (mode) {
    case ModeNormal:
    case ModeAdd:
    case ModeMultiply:
    case ModeOverlay:
    case ModeScreen:
    case ModeAverage:
      return true;
  }
  return false;
}

constinit const CompositeKernels kCompositeKernelsScalar = MakeCompositeKernels<CompositeRowPlain>();
constinit const KernelTable<CompositeKernels> kCompositeKernelTable(
    "composite", &kCompositeKernelsScalar, &kCompositeKernelsSse2, &kCompositeKernelsAvx2,
    &kCompositeKernelsAvx512);

std::uint8_t OpacityByte(double opacity) {
  const double t = opacity * 255.0 + 0.5;
  if (t >= 255.0) return 255;
  const std::int32_t o = TruncateToInt32(t);  // NaN and -huge: INT32_MIN
  return static_cast<std::uint8_t>(o < 0 ? 0 : o);
}

bool CompositeImages(Rows dst, ConstRows src, std::int32_t width, std::int32_t height,
                     std::int32_t mode, double opacity) {
  if (!IsCompositeMode(mode)) return false;
  const auto m = static_cast<CompositeMode>(mode);
  const std::uint8_t o = OpacityByte(opacity);
  if (height <= 0 || width <= 0) return true;
  const CompositeRowFn row = kCompositeKernelTable.For(CpuFeatureFlags()).row[m];
  for (std::int32_t y = 0; y < height; ++y) {
    row(dst.row, src.row, width, o);
    dst.Next();
    src.Next();
  }
  return true;
}

}  // namespace morvex::blend
