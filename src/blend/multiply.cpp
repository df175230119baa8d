#include "blend/multiply.h"

#include "frame/convert.h"
#include "frame/cpu_features.h"

namespace morvex::blend {
namespace {

void MultiplyRowScalar(Byte* dst, std::int32_t width, std::int32_t k) {
  for (std::int32_t x = 0; x < width; ++x, dst += 4)
    for (int c = 0; c < 4; ++c) dst[c] = MultiplyByte(dst[c], k);
}

template <bool kGeneral>
void MultiplyChannelRowScalar(Byte* dst, const Byte* mask, std::int32_t width, int dstChannel,
                              int maskChannel, std::int32_t ks, std::int32_t ko) {
  for (std::int32_t x = 0; x < width; ++x, dst += 4, mask += 4)
    dst[dstChannel] = ScaleByMask<kGeneral>(dst[dstChannel], mask[maskChannel], ks, ko);
}

template <bool kGeneral>
void MaskMultiplyRowScalar(Byte* dst, const Byte* mask, std::int32_t width, int, std::int32_t ks,
                           std::int32_t ko) {
  for (std::int32_t x = 0; x < width; ++x, dst += 4, mask += 4)
    MaskMultiplyPixel<kGeneral>(dst, mask, ks, ko);
}

template <bool kGeneral>
void MaskMultiplySingleRowScalar(Byte* dst, const Byte* mask, std::int32_t width, int maskChannel,
                                 std::int32_t ks, std::int32_t ko) {
  for (std::int32_t x = 0; x < width; ++x, dst += 4, mask += 4)
    MaskMultiplySinglePixel<kGeneral>(dst, mask, maskChannel, ks, ko);
}

// A factor beyond x1 saturates; the result depends on the byte alone, so a
// 256-entry table made once per call serves every path alike.
void MultiplyRowsByTable(Rows dst, std::int32_t width, std::int32_t height, std::int32_t k) {
  Byte table[256];
  for (unsigned b = 0; b < 256; ++b) table[b] = MultiplyByte(b, k);
  const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(width) * 4;
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::ptrdiff_t i = 0; i < rowBytes; ++i) dst.row[i] = table[dst.row[i]];
    dst.Next();
  }
}

template <class Row>
void WalkMaskRows(Rows dst, ConstRows mask, std::int32_t height, Row&& row) {
  for (std::int32_t y = 0; y < height; ++y) {
    row(dst.row, mask.row);
    dst.Next();
    mask.Next();
  }
}

}  // namespace

const MultiplyKernels kMultiplyKernelsScalar = {
    &MultiplyRowScalar,
    {&MultiplyChannelRowScalar<false>, &MultiplyChannelRowScalar<true>},
    {&MaskMultiplyRowScalar<false>, &MaskMultiplyRowScalar<true>, &MaskMultiplyRowScalar<true>},
    {&MaskMultiplySingleRowScalar<false>, &MaskMultiplySingleRowScalar<true>,
     &MaskMultiplySingleRowScalar<true>}};
constinit const KernelTable<MultiplyKernels> kMultiplyKernelTable("multiply", &kMultiplyKernelsScalar,
                                                        &kMultiplyKernelsSse2, &kMultiplyKernelsAvx2,
                                                        &kMultiplyKernelsAvx512);

std::int32_t MultiplyFactorFixed(double factor) { return TruncateToInt32(factor * 256.0 + 0.5); }

MaskRemap MaskRemapFor(double scale, double offset) {
  const bool general = scale < 0.9999 || scale > 1.0001 || offset < -0.0001 || offset > 0.0001;
  if (!general) return {false, 0, 0};
  return {true, TruncateToInt32(scale * 1024.0), TruncateToInt32(offset * 1024.0)};
}

RemapLoop RemapLoopFor(const MaskRemap& remap) {
  if (!remap.general) return kShortcutLoop;
  const auto fits16 = [](std::int32_t v) { return v >= -32768 && v <= 32767; };
  return fits16(remap.ks) && fits16(remap.ko) ? kGeneralLoop : kGeneralWideLoop;
}

void MultiplyImage(Rows dst, std::int32_t width, std::int32_t height, double factor) {
  const std::int32_t k = MultiplyFactorFixed(factor);
  if (width <= 0) return;
  if (k > 256) {
    MultiplyRowsByTable(dst, width, height, k);
    return;
  }
  // Every negative factor gives 0 for every byte, as 0 itself does.
  const std::int32_t kernelFactor = k < 0 ? 0 : k;
  const MultiplyRowFn row = kMultiplyKernelTable.For(CpuFeatureFlags()).multiply;
  for (std::int32_t y = 0; y < height; ++y) {
    row(dst.row, width, kernelFactor);
    dst.Next();
  }
}

bool MultiplyChannelImages(Rows dst, std::uint32_t dstChannel, ConstRows mask,
                           std::uint32_t maskChannel, std::int32_t width, std::int32_t height,
                           double scale, double offset) {
  const MaskRemap remap = MaskRemapFor(scale, offset);
  if (dstChannel > 3 || maskChannel > 3) return false;
  if (width <= 0) return true;
  const ChannelScaleRowFn row = kMultiplyKernelTable.For(CpuFeatureFlags()).channel[remap.general];
  WalkMaskRows(dst, mask, height, [&](Byte* d, const Byte* m) {
    row(d, m, width, static_cast<int>(dstChannel), static_cast<int>(maskChannel), remap.ks,
        remap.ko);
  });
  return true;
}

bool MaskMultiplyImages(Rows dst, ConstRows mask, std::int32_t width, std::int32_t height,
                        std::int32_t maskChannel, double scale, double offset) {
  const MaskRemap remap = MaskRemapFor(scale, offset);
  if (maskChannel >= 4) return false;
  if (width <= 0) return true;
  const MultiplyKernels& kernels = kMultiplyKernelTable.For(CpuFeatureFlags());
  const RemapLoop loop = RemapLoopFor(remap);
  const MaskScaleRowFn row =
      maskChannel < 0 ? kernels.perChannel[loop] : kernels.singleChannel[loop];
  WalkMaskRows(dst, mask, height,
               [&](Byte* d, const Byte* m) { row(d, m, width, maskChannel, remap.ks, remap.ko); });
  return true;
}

}  // namespace morvex::blend
