#include "filters/blur3x3.h"

#include "filters/neighbour_rows.h"
#include "frame/cpu_features.h"

namespace morvex::filters {

void Blur3x3RowScalar(Byte* dst, const Byte* above, const Byte* row, const Byte* below,
                      std::int32_t width) {
  for (std::int32_t x = 0; x < width; ++x) Blur3x3Pixel(dst, above, row, below, x, width);
}

Blur3x3RowKernel SelectBlur3x3Kernel(std::uint32_t cpuFlags) {
#if defined(__SSE2__)
  if (HasCpu(cpuFlags, kCpuAvx2)) return Blur3x3RowAvx2;
  if (HasCpu(cpuFlags, kCpuSse2)) return Blur3x3RowSse2;
#else
  (void)cpuFlags;
#endif
  return Blur3x3RowScalar;
}

void Blur3x3Plane(Rows dst, ConstRows src, std::int32_t width, std::int32_t height) {
  if (height <= 0 || width <= 0) return;
  const Blur3x3RowKernel kernel = SelectBlur3x3Kernel(CpuFeatureFlags());
  ForEachRowWithNeighbours(dst, src, height,
                           [&](Byte* out, const Byte* above, const Byte* row, const Byte* below) {
                             kernel(out, above, row, below, width);
                           });
}

}  // namespace morvex::filters
