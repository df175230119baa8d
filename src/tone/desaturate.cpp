#include "tone/desaturate.h"

namespace morvex::tone {
namespace {

void DesaturateRowScalar(Byte* row, std::int32_t width, bool alsoAlpha) {
  for (std::int32_t x = 0; x < width; ++x, row += kArgbImageBytes) DesaturatePixel(row, alsoAlpha);
}

}  // namespace

const DesaturateKernels kDesaturateKernelsScalar = {&DesaturateRowScalar};
constinit const KernelTable<DesaturateKernels> kDesaturateKernelTable(
    "desaturate", &kDesaturateKernelsScalar, &kDesaturateKernelsSse2, &kDesaturateKernelsAvx2,
    &kDesaturateKernelsAvx512);

void Desaturate(Rows image, std::int32_t width, std::int32_t height, bool alsoAlpha) {
  // A row without pixels touches nothing, so such a region needs no walk.
  if (width <= 0) return;
  const DesaturateRowFn row = kDesaturateKernelTable.For(CpuFeatureFlags()).row;
  for (std::int32_t y = 0; y < height; ++y) {
    row(image.row, width, alsoAlpha);
    image.Next();
  }
}

}  // namespace morvex::tone
