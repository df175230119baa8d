#include "pixel/conversion.h"

#include "frame/cpu_features.h"
#include "frame/fpu.h"
#include "pixel/lut.h"

namespace morvex::pixel {

// ---- Plain row kernels ----

void ArgbToArgbFloatRow(Byte* dst, const Byte* src, std::int32_t width) {
  for (std::int32_t x = 0; x < width; ++x)
    ArgbToArgbFloatPixel(dst + ElementOffset(x, kArgbFloatImageBytes),
                         src + ElementOffset(x, kArgbImageBytes));
}

void ArgbFloatToArgbRow(Byte* dst, const Byte* src, std::int32_t width) {
  for (std::int32_t x = 0; x < width; ++x)
    ArgbFloatToArgbPixel(dst + ElementOffset(x, kArgbImageBytes),
                         src + ElementOffset(x, kArgbFloatImageBytes));
}

void FloatMaskToArgbRow(Byte* dst, const Byte* src, std::int32_t width) {
  for (std::int32_t x = 0; x < width; ++x)
    FloatMaskToArgbElement(dst + ElementOffset(x, kArgbImageBytes),
                           src + ElementOffset(x, kFloatMaskBytes));
}

// ---- Routines ----

namespace {

ConvertRowFn Pick(ConvertRowFn avx2, ConvertRowFn sse2, ConvertRowFn plain) {
  const std::uint32_t flags = CpuFeatureFlags();
  if (HasCpu(flags, kCpuAvx2)) return avx2;
  if (HasCpu(flags, kCpuSse2)) return sse2;
  return plain;
}

void WalkRows(ConvertRowFn kernel, Rows dst, ConstRows src, std::int32_t width,
              std::int32_t height) {
  if (width <= 0) return;
  for (std::int32_t y = 0; y < height; ++y) {
    kernel(dst.row, src.row, width);
    dst.Next();
    src.Next();
  }
}

}  // namespace

void ConvertArgbToArgbFloat(Rows dst, ConstRows src, std::int32_t width, std::int32_t height) {
  WalkRows(Pick(ArgbToArgbFloatRowAvx2, ArgbToArgbFloatRowSse2, ArgbToArgbFloatRow), dst, src,
           width, height);
}

void ConvertArgbFloatToArgb(Rows dst, ConstRows src, std::int32_t width, std::int32_t height) {
  const ConvertRowFn kernel =
      Pick(ArgbFloatToArgbRowAvx2, ArgbFloatToArgbRowSse2, ArgbFloatToArgbRow);
  const RoundToNearestBracket bracket;
  WalkRows(kernel, dst, src, width, height);
}

void ConvertChannelToFloatMask(Rows dst, ConstRows src, std::int32_t channel, std::int32_t width,
                               std::int32_t height, const Byte* table) {
  MapChannelRows(dst, src, static_cast<std::uint32_t>(channel) & 3u, width, height, table);
}

void ConvertFloatMaskToArgb(Rows dst, ConstRows src, std::int32_t width, std::int32_t height) {
  const ConvertRowFn kernel =
      Pick(FloatMaskToArgbRowAvx2, FloatMaskToArgbRowSse2, FloatMaskToArgbRow);
  const RoundToNearestBracket bracket;
  WalkRows(kernel, dst, src, width, height);
}

}  // namespace morvex::pixel
