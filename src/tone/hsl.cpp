#include "tone/hsl.h"

#include "frame/cpu_features.h"
#include "frame/fpu.h"

namespace morvex::tone {

[[gnu::noinline]] void HslScaleOffsetRowScalar(Byte* row, std::size_t width,
                                               const HslAdjustment& adj) {
  for (std::size_t x = 0; x < width; ++x, row += kArgbImageBytes)
    StoreU32(row, HslScaleOffsetPixel(LoadU32(row), adj));
}

HslRowKernel ChooseHslScaleOffsetRow(std::uint32_t cpuFlags) {
  if (HasCpu(cpuFlags, kCpuAvx512)) return &HslScaleOffsetRowAvx512;
  if (HasCpu(cpuFlags, kCpuAvx2)) return &HslScaleOffsetRowAvx2;
  if (HasCpu(cpuFlags, kCpuSse2)) return &HslScaleOffsetRowSse2;
  return &HslScaleOffsetRowScalar;
}

void HslScaleOffset(Rows image, std::int32_t width, std::int32_t height, const HslAdjustment& adj) {
  const RoundToNearestBracket bracket;
  if (width <= 0) return;  // a row without pixels touches nothing
  // The kernels are separate functions, so no rounding-sensitive work can be
  // moved ahead of the bracket.
  const HslRowKernel kernel = ChooseHslScaleOffsetRow(CpuFeatureFlags());
  const auto count = static_cast<std::size_t>(width);
  for (std::int32_t y = 0; y < height; ++y) {
    kernel(image.row, count, adj);
    image.Next();
  }
}

}  // namespace morvex::tone
