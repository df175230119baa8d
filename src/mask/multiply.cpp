#include "mask/multiply.h"

#include "frame/cpu_features.h"

namespace morvex::mask {

void MultiplyMaskRowScalar(Byte* dst, const Byte* src, std::int32_t count) {
  for (std::int32_t x = 0; x < count; ++x) {
    Byte* d = dst + ElementOffset(x, 4);
    StoreF32(d, MaskProduct(LoadF32(src + ElementOffset(x, 4)), LoadF32(d)));
  }
}

const MultiplyMaskKernels kMultiplyMaskKernelsScalar = {&MultiplyMaskRowScalar};
constinit const KernelTable<MultiplyMaskKernels> kMultiplyMaskKernelTable(
    "mask.multiply", &kMultiplyMaskKernelsScalar, &kMultiplyMaskKernelsSse2,
    &kMultiplyMaskKernelsAvx2, &kMultiplyMaskKernelsAvx512);

void MultiplyMaskPlanes(Rows dst, ConstRows src, std::int32_t width, std::int32_t height) {
  if (width <= 0) return;
  const MultiplyRowFn vector = kMultiplyMaskKernelTable.For(CpuFeatureFlags()).row;
  for (std::int32_t y = 0; y < height; ++y) {
    // The same plane (in place) and disjoint planes take the vector kernel; a
    // factor row just below its destination keeps the sequential order.
    const auto distance = static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(dst.row) -
                                                    reinterpret_cast<std::uintptr_t>(src.row));
    MultiplyRowFn row = vector;
    if (distance > 0 && distance < kMultiplyReadAhead) row = kMultiplyMaskKernelsScalar.row;
    row(dst.row, src.row, width);
    dst.Next();
    src.Next();
  }
}

}  // namespace morvex::mask
