#include "blend/clip.h"

#include "frame/convert.h"
#include "frame/cpu_features.h"

namespace morvex::blend {
namespace {

void ClipRowPlain(Byte* dst, std::int32_t width, float clip, float restoreMin) {
  for (std::int32_t x = 0; x < width; ++x, dst += 16) ClipPixel(dst, clip, restoreMin);
}

}  // namespace

constinit const ClipKernels kClipKernelsScalar = {&ClipRowPlain};
constinit const KernelTable<ClipKernels> kClipKernelTable("clip", &kClipKernelsScalar,
                                                          &kClipKernelsSse2, &kClipKernelsAvx2,
                                                          &kClipKernelsAvx512);

ClipLevels ClipLevelsFor(double clipLevel, double restoreMin) {
  return {ToSingle(clipLevel * 255.0), ToSingle(restoreMin * 255.0)};
}

void ClipRestoreImage(Rows dst, std::int32_t width, std::int32_t height, double clipLevel,
                      double restoreMin) {
  const ClipLevels levels = ClipLevelsFor(clipLevel, restoreMin);
  if (width <= 0) return;
  const ClipRowFn row = kClipKernelTable.For(CpuFeatureFlags()).row;
  for (std::int32_t y = 0; y < height; ++y) {
    row(dst.row, width, levels.clip, levels.restoreMin);
    dst.Next();
  }
}

}  // namespace morvex::blend
