#include "pixel/conversion.h"

#include <xmmintrin.h>

#include "frame/cpu_features.h"
#include "frame/fpu.h"
#include "pixel/lut.h"

namespace morvex::pixel {

// ---- Plain row kernels ----

namespace {

void ArgbToArgbFloatRowScalar(Byte* dst, const Byte* src, std::int32_t width) {
  for (std::int32_t x = 0; x < width; ++x)
    ArgbToArgbFloatPixel(dst + ElementOffset(x, kArgbFloatImageBytes),
                         src + ElementOffset(x, kArgbImageBytes));
}

void ArgbFloatToArgbRowScalar(Byte* dst, const Byte* src, std::int32_t width) {
  for (std::int32_t x = 0; x < width; ++x)
    ArgbFloatToArgbPixel(dst + ElementOffset(x, kArgbImageBytes),
                         src + ElementOffset(x, kArgbFloatImageBytes));
}

void FloatMaskToArgbRowScalar(Byte* dst, const Byte* src, std::int32_t width) {
  for (std::int32_t x = 0; x < width; ++x)
    FloatMaskToArgbElement(dst + ElementOffset(x, kArgbImageBytes),
                           src + ElementOffset(x, kFloatMaskBytes));
}

}  // namespace

constinit const ConvertKernels kArgbToArgbFloatKernelsScalar = {&ArgbToArgbFloatRowScalar};
constinit const ConvertKernels kArgbFloatToArgbKernelsScalar = {&ArgbFloatToArgbRowScalar};
constinit const ConvertKernels kFloatMaskToArgbKernelsScalar = {&FloatMaskToArgbRowScalar};

// The conversions back to bytes have no AVX-512 kernels: those processors
// take the AVX2 ones.
constinit const KernelTable<ConvertKernels> kArgbToArgbFloatKernelTable(
    "convert.argb_to_float", &kArgbToArgbFloatKernelsScalar, &kArgbToArgbFloatKernelsSse2,
    &kArgbToArgbFloatKernelsAvx2, &kArgbToArgbFloatKernelsAvx512);
constinit const KernelTable<ConvertKernels> kArgbFloatToArgbKernelTable(
    "convert.float_to_argb", &kArgbFloatToArgbKernelsScalar, &kArgbFloatToArgbKernelsSse2,
    &kArgbFloatToArgbKernelsAvx2);
constinit const KernelTable<ConvertKernels> kFloatMaskToArgbKernelTable(
    "convert.mask_to_argb", &kFloatMaskToArgbKernelsScalar, &kFloatMaskToArgbKernelsSse2,
    &kFloatMaskToArgbKernelsAvx2);

void FinishStreamingStores() { _mm_sfence(); }

// ---- Routines ----

namespace {

// Destinations of 8 MiB and more stream, where the chosen kernels have a
// streaming form: the two byte destinations on SSE2 and AVX2, the float
// destination of ConvertARGBToARGBFloat on AVX-512 only. Such a plane
// leaves the caches anyway, and a non-temporal store saves reading each
// destination line before it is overwritten. Rows and stride must be 16-byte
// aligned, so every row reaches a vector-aligned element within a few
// elements.
constexpr std::int64_t kStreamMinBytes = std::int64_t{8} << 20;

bool Streams(Rows dst, std::int32_t width, std::int32_t height, std::int32_t dstElementBytes) {
  if (width <= 0 || height <= 0) return false;
  const std::uint64_t elements = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  return elements >= static_cast<std::uint64_t>(kStreamMinBytes / dstElementBytes) &&
         (reinterpret_cast<std::uintptr_t>(dst.row) & 15u) == 0 && (dst.stride & 15) == 0;
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

// The whole conversion; `rounds` opens the round-to-nearest bracket around
// the row walk.
void Convert(const KernelTable<ConvertKernels>& table, bool rounds, Rows dst, ConstRows src,
             std::int32_t width, std::int32_t height, std::int32_t dstElementBytes) {
  const ConvertKernels& kernels = table.For(CpuFeatureFlags());
  const bool stream = kernels.stream != nullptr && Streams(dst, width, height, dstElementBytes);
  const ConvertRowFn kernel = stream ? kernels.stream : kernels.row;
  if (rounds) {
    const RoundToNearestBracket bracket;
    WalkRows(kernel, dst, src, width, height);
  } else {
    WalkRows(kernel, dst, src, width, height);
  }
  if (stream) FinishStreamingStores();
}

}  // namespace

void ConvertArgbToArgbFloat(Rows dst, ConstRows src, std::int32_t width, std::int32_t height) {
  Convert(kArgbToArgbFloatKernelTable, false, dst, src, width, height, kArgbFloatImageBytes);
}

void ConvertArgbFloatToArgb(Rows dst, ConstRows src, std::int32_t width, std::int32_t height) {
  Convert(kArgbFloatToArgbKernelTable, true, dst, src, width, height, kArgbImageBytes);
}

void ConvertChannelToFloatMask(Rows dst, ConstRows src, std::int32_t channel, std::int32_t width,
                               std::int32_t height, const Byte* table) {
  MapChannelRows(dst, src, static_cast<std::uint32_t>(channel) & 3u, width, height, table);
}

void ConvertFloatMaskToArgb(Rows dst, ConstRows src, std::int32_t width, std::int32_t height) {
  Convert(kFloatMaskToArgbKernelTable, true, dst, src, width, height, kArgbImageBytes);
}

}  // namespace morvex::pixel
