#include "filters/edge_detect.h"

#include "filters/neighbour_rows.h"
#include "frame/convert.h"
#include "frame/cpu_features.h"

namespace morvex::filters {
namespace {

template <bool kGray>
void EdgeRowScalar(Byte* dst, const Byte* above, const Byte* row, const Byte* below,
                   std::int32_t width, std::int32_t threshold) {
  EdgeBorders(dst, width);
  for (std::int32_t j = 1; j < width - 1; ++j)
    EdgePixel(dst, above, row, below, j, kGray, threshold);
}

}  // namespace

constinit const EdgeKernels kEdgeKernelsScalar = {&EdgeRowScalar<true>, &EdgeRowScalar<false>};
constinit const KernelTable<EdgeKernels> kEdgeKernelTable("edge_detect", &kEdgeKernelsScalar,
                                                          &kEdgeKernelsSse2, &kEdgeKernelsAvx2,
                                                          &kEdgeKernelsAvx512);

std::int32_t EdgeThreshold(double threshold) { return TruncateToInt32(threshold * 255.0); }

void EdgeDetectPlane(Rows dst, ConstRows src, std::int32_t width, std::int32_t height, bool gray,
                     double threshold) {
  const std::int32_t t = EdgeThreshold(threshold);
  // Both border writes need a pixel, so a row narrower than that is skipped.
  if (height <= 0 || width <= 0) return;
  const EdgeKernels& kernels = kEdgeKernelTable.For(CpuFeatureFlags());
  const EdgeRowKernel kernel = gray ? kernels.gray : kernels.channels;
  ForEachRowWithNeighbours(dst, src, height,
                           [&](Byte* out, const Byte* above, const Byte* row, const Byte* below) {
                             kernel(out, above, row, below, width, t);
                           });
}

}  // namespace morvex::filters
