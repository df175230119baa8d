#include "filters/blur3x3.h"

#include "filters/neighbour_rows.h"
#include "frame/cpu_features.h"

namespace morvex::filters {
namespace {

void Blur3x3RowScalar(Byte* dst, const Byte* above, const Byte* row, const Byte* below,
                      std::int32_t width) {
  for (std::int32_t x = 0; x < width; ++x) Blur3x3Pixel(dst, above, row, below, x, width);
}

}  // namespace

constinit const Blur3x3Kernels kBlur3x3KernelsScalar = {&Blur3x3RowScalar};
constinit const KernelTable<Blur3x3Kernels> kBlur3x3KernelTable(
    "blur3x3", &kBlur3x3KernelsScalar, &kBlur3x3KernelsSse2, &kBlur3x3KernelsAvx2,
    &kBlur3x3KernelsAvx512);

void Blur3x3Plane(Rows dst, ConstRows src, std::int32_t width, std::int32_t height) {
  if (height <= 0 || width <= 0) return;
  const Blur3x3RowKernel kernel = kBlur3x3KernelTable.For(CpuFeatureFlags()).row;
  ForEachRowWithNeighbours(dst, src, height,
                           [&](Byte* out, const Byte* above, const Byte* row, const Byte* below) {
                             kernel(out, above, row, below, width);
                           });
}

}  // namespace morvex::filters
