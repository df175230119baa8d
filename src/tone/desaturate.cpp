#include "tone/desaturate.h"

#include "frame/cpu_features.h"

namespace morvex::tone {

void DesaturateRowScalar(Byte* row, std::size_t width, bool alsoAlpha) {
  for (std::size_t x = 0; x < width; ++x, row += kArgbImageBytes) DesaturatePixel(row, alsoAlpha);
}

DesaturateRowKernel ChooseDesaturateRow(std::uint32_t cpuFlags) {
  if (HasCpu(cpuFlags, kCpuAvx2)) return &DesaturateRowAvx2;
  if (HasCpu(cpuFlags, kCpuSse2)) return &DesaturateRowSse2;
  return &DesaturateRowScalar;
}

void Desaturate(Rows image, std::int32_t width, std::int32_t height, bool alsoAlpha) {
  // A row without pixels touches nothing, so such a region needs no walk.
  if (width <= 0) return;
  const DesaturateRowKernel kernel = ChooseDesaturateRow(CpuFeatureFlags());
  const auto count = static_cast<std::size_t>(width);
  for (std::int32_t y = 0; y < height; ++y) {
    kernel(image.row, count, alsoAlpha);
    image.Next();
  }
}

}  // namespace morvex::tone
