#include "filters/edge_detect.h"

#include "filters/neighbour_rows.h"
#include "frame/convert.h"
#include "frame/cpu_features.h"

namespace morvex::filters {

std::int32_t EdgeThreshold(double threshold) { return TruncateToInt32(threshold * 255.0); }

void EdgeRowScalar(Byte* dst, const Byte* above, const Byte* row, const Byte* below,
                   std::int32_t width, bool gray, std::int32_t threshold) {
  EdgeBorders(dst, width);
  for (std::int32_t j = 1; j < width - 1; ++j)
    EdgePixel(dst, above, row, below, j, gray, threshold);
}

EdgeRowKernel SelectEdgeKernel(std::uint32_t cpuFlags) {
#if defined(__SSE2__)
  if (HasCpu(cpuFlags, kCpuAvx2)) return EdgeRowAvx2;
  if (HasCpu(cpuFlags, kCpuSse2)) return EdgeRowSse2;
#else
  (void)cpuFlags;
#endif
  return EdgeRowScalar;
}

void EdgeDetectPlane(Rows dst, ConstRows src, std::int32_t width, std::int32_t height, bool gray,
                     double threshold) {
  const std::int32_t t = EdgeThreshold(threshold);
  // Both border writes need a pixel, so a row narrower than that is skipped.
  if (height <= 0 || width <= 0) return;
  const EdgeRowKernel kernel = SelectEdgeKernel(CpuFeatureFlags());
  ForEachRowWithNeighbours(dst, src, height,
                           [&](Byte* out, const Byte* above, const Byte* row, const Byte* below) {
                             kernel(out, above, row, below, width, gray, t);
                           });
}

}  // namespace morvex::filters
