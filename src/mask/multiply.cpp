#include "mask/multiply.h"

#include "frame/cpu_features.h"

namespace morvex::mask {

void MultiplyMaskRowScalar(Byte* dst, const Byte* src, std::int32_t count) {
  for (std::int32_t x = 0; x < count; ++x) {
    Byte* d = dst + ElementOffset(x, 4);
    StoreF32(d, MaskProduct(LoadF32(src + ElementOffset(x, 4)), LoadF32(d)));
  }
}

MultiplyRowFn ChooseMultiplyMaskRow(std::uint32_t cpuFlags) {
  if (HasCpu(cpuFlags, kCpuAvx2)) return &MultiplyMaskRowAvx2;
  if (HasCpu(cpuFlags, kCpuSse2)) return &MultiplyMaskRowSse2;
  return &MultiplyMaskRowScalar;
}

void MultiplyMaskPlanes(Rows dst, ConstRows src, std::int32_t width, std::int32_t height) {
  if (width <= 0) return;
  const MultiplyRowFn fast = ChooseMultiplyMaskRow(CpuFeatureFlags());
  for (std::int32_t y = 0; y < height; ++y) {
    // The same plane (in place) and disjoint planes take the fast kernel; a
    // factor row just below its destination keeps the sequential order.
    const auto distance = static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(dst.row) -
                                                    reinterpret_cast<std::uintptr_t>(src.row));
    const bool readsAhead = distance > 0 && distance < kMultiplyReadAhead;
    (readsAhead ? &MultiplyMaskRowScalar : fast)(dst.row, src.row, width);
    dst.Next();
    src.Next();
  }
}

}  // namespace morvex::mask
