#include "pixel/copy.h"

#include <cstddef>
#include <cstring>

#include "frame/cpu_features.h"

namespace morvex::pixel {

void CopyRows(Rows dst, ConstRows src, std::int64_t rowBytes, std::int32_t height) {
  // A row larger than the address space cannot describe host memory.
  if (rowBytes <= 0 || static_cast<std::uint64_t>(rowBytes) > PTRDIFF_MAX) return;
  const auto bytes = static_cast<std::size_t>(rowBytes);
  for (std::int32_t y = 0; y < height; ++y) {
    // memmove: rows that overlap their destination still copy soundly.
    std::memmove(dst.row, src.row, bytes);
    dst.Next();
    src.Next();
  }
}

void ChannelCopyRow(Byte* dst, std::int32_t dstStep, const Byte* src, std::int32_t srcStep,
                    std::int32_t width) {
  for (std::int32_t x = 0; x < width; ++x) {
    *dst = *src;
    dst += dstStep;
    src += srcStep;
  }
}

constinit const ChannelCopyKernels kChannelCopyKernelsScalar = {nullptr, nullptr, nullptr};
constinit const KernelTable<ChannelCopyKernels> kChannelCopyKernelTable(
    "channel_copy", &kChannelCopyKernelsScalar, &kChannelCopyKernelsSse2, &kChannelCopyKernelsAvx2,
    &kChannelCopyKernelsAvx512);

ChannelCopyRowFn FixedStepKernel(const ChannelCopyKernels& kernels, std::int32_t dstStep,
                                 std::int32_t srcStep) {
  if (srcStep == 4 && dstStep == 1) return kernels.from4To1;
  if (srcStep == 1 && dstStep == 4) return kernels.from1To4;
  if (srcStep == 4 && dstStep == 4) return kernels.from4To4;
  return nullptr;
}

bool ChannelRowsApart(const Byte* dst, std::int32_t dstStep, const Byte* src,
                      std::int32_t srcStep, std::int32_t width) {
  const auto dstFirst = reinterpret_cast<std::uintptr_t>(dst);
  const auto srcFirst = reinterpret_cast<std::uintptr_t>(src);
  const auto dstLast = dstFirst + static_cast<std::uintptr_t>(ElementOffset(width - 1, dstStep));
  const auto srcLast = srcFirst + static_cast<std::uintptr_t>(ElementOffset(width - 1, srcStep));
  return dstLast < srcFirst || srcLast < dstFirst;
}

void CopyChannel(Rows dst, std::int32_t dstStep, ConstRows src, std::int32_t srcStep,
                 std::int32_t width, std::int32_t height) {
  if (width <= 0) return;  // rows without elements: nothing to walk
  const ChannelCopyRowFn fast =
      FixedStepKernel(kChannelCopyKernelTable.For(CpuFeatureFlags()), dstStep, srcStep);
  for (std::int32_t y = 0; y < height; ++y) {
    if (fast != nullptr && ChannelRowsApart(dst.row, dstStep, src.row, srcStep, width))
      fast(dst.row, src.row, width);
    else
      ChannelCopyRow(dst.row, dstStep, src.row, srcStep, width);
    dst.Next();
    src.Next();
  }
}

}  // namespace morvex::pixel
