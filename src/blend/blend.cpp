#include "blend/blend.h"

#include "frame/convert.h"
#include "frame/cpu_features.h"

namespace morvex::blend {
namespace {

void BlendRowScalar(Byte* dst, const Byte* src, std::int32_t width, std::int32_t ws,
                    std::int32_t wd) {
  for (std::int32_t x = 0; x < width; ++x, dst += 4, src += 4) BlendPixel(dst, src, ws, wd);
}

void MaskedBlendRowScalar(Byte* dst, const Byte* mask, const Byte* src, std::int32_t width,
                          const Byte*, const WeightColumns*) {
  for (std::int32_t x = 0; x < width; ++x, dst += 4, mask += 4, src += 4)
    MaskedBlendPixel(dst, mask, src);
}

void MaskedBlendLutRowScalar(Byte* dst, const Byte* mask, const Byte* src, std::int32_t width,
                             const Byte* weightLut, const WeightColumns*) {
  for (std::int32_t x = 0; x < width; ++x, dst += 4, mask += 4, src += 4)
    MaskedBlendLutPixel(dst, mask, src, weightLut);
}

void MaskedFadeRowScalar(Byte* dst, const Byte* mask, const Byte* src, std::int32_t width,
                         const Byte*, const WeightColumns*) {
  for (std::int32_t x = 0; x < width; ++x, dst += 4, mask += 4, src += 4)
    MaskedFadePixel(dst, mask, src);
}

bool FitsInt16(std::int32_t v) { return v >= -32768 && v <= 32767; }

void WalkMaskedRows(MaskedRowFn row, Rows dst, ConstRows mask, ConstRows src, std::int32_t width,
                    std::int32_t height, const Byte* weightLut, const WeightColumns* columns) {
  for (std::int32_t y = 0; y < height; ++y) {
    row(dst.row, mask.row, src.row, width, weightLut, columns);
    dst.Next();
    mask.Next();
    src.Next();
  }
}

}  // namespace

const BlendKernels kBlendKernelsScalar = {&BlendRowScalar, &MaskedBlendRowScalar,
                                          &MaskedBlendLutRowScalar, &MaskedFadeRowScalar};
constinit const KernelTable<BlendKernels> kBlendKernelTable("blend", &kBlendKernelsScalar, &kBlendKernelsSse2,
                                                  &kBlendKernelsAvx2, &kBlendKernelsAvx512,
                                                  &kBlendKernelsAvx512Vbmi);

BlendWeights BlendWeightsFor(double dstWeight) {
  return {TruncateToInt32((1.0 - dstWeight) * 4096.0), TruncateToInt32(dstWeight * 4096.0)};
}

void BlendImages(Rows dst, ConstRows src, std::int32_t width, std::int32_t height,
                 double dstWeight) {
  const BlendWeights w = BlendWeightsFor(dstWeight);
  if (width <= 0) return;
  // The vector kernels pair the weights in 16-bit lanes; weights beyond that
  // (|dstWeight| above about 7) take the scalar kernel.
  BlendRowFn row = kBlendKernelTable.For(CpuFeatureFlags()).blend;
  if (!FitsInt16(w.source) || !FitsInt16(w.destination)) row = kBlendKernelsScalar.blend;
  for (std::int32_t y = 0; y < height; ++y) {
    row(dst.row, src.row, width, w.source, w.destination);
    dst.Next();
    src.Next();
  }
}

void MakeWeightColumns(const Byte* weightLut, WeightColumns* columns) {
  for (unsigned c = 0; c < 3; ++c)
    for (unsigned i = 0; i < 256; ++i) {
      columns->bytes[c][i] = ChannelLutValue(weightLut, i, c);
      columns->column[c][i] = columns->bytes[c][i];
    }
}

void MaskedBlendImages(Rows dst, ConstRows mask, ConstRows src, std::int32_t width,
                       std::int32_t height, const Byte* weightLut) {
  if (width <= 0 || height <= 0) return;
  const BlendKernels& kernels = kBlendKernelTable.For(CpuFeatureFlags());
  if (weightLut == nullptr) {
    WalkMaskedRows(kernels.maskedBlend, dst, mask, src, width, height, nullptr, nullptr);
    return;
  }
  WeightColumns columns;
  if (kernels.lutNeedsColumns) MakeWeightColumns(weightLut, &columns);
  WalkMaskedRows(kernels.maskedBlendLut, dst, mask, src, width, height, weightLut,
                 kernels.lutNeedsColumns ? &columns : nullptr);
}

void MaskedFadeImages(Rows dst, ConstRows mask, ConstRows src, std::int32_t width,
                      std::int32_t height) {
  if (width <= 0) return;
  WalkMaskedRows(kBlendKernelTable.For(CpuFeatureFlags()).maskedFade, dst, mask, src, width, height, nullptr,
                 nullptr);
}

}  // namespace morvex::blend
