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

// A conversion's row kernels. The streaming ones, where there are any, write
// whole 16-byte groups with non-temporal stores and need every destination
// row 16-byte aligned.
struct RowKernels {
  ConvertRowFn avx2, avx2Stream, sse2, sse2Stream, plain;
  ConvertRowFn avx512 = nullptr, avx512Stream = nullptr;
};

// Destinations this large leave the caches anyway; streaming them saves
// reading each destination line before it is overwritten. (Measured: that
// pays for the byte destinations; for the float pixels, four times the
// source, plain stores are faster, so that conversion has no streaming form.)
constexpr std::int64_t kStreamMinBytes = std::int64_t{8} << 20;

bool Streams(Rows dst, std::int32_t width, std::int32_t height, std::int32_t dstElementBytes) {
  if (width <= 0 || height <= 0) return false;
  const std::uint64_t elements = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  return elements >= static_cast<std::uint64_t>(kStreamMinBytes / dstElementBytes) &&
         (reinterpret_cast<std::uintptr_t>(dst.row) & 15u) == 0 && (dst.stride & 15) == 0;
}

ConvertRowFn Pick(const RowKernels& k, bool stream) {
  const std::uint32_t flags = CpuFeatureFlags();
  if (HasCpu(flags, kCpuAvx512) && k.avx512) return stream && k.avx512Stream ? k.avx512Stream : k.avx512;
  if (HasCpu(flags, kCpuAvx2)) return stream && k.avx2Stream ? k.avx2Stream : k.avx2;
  if (HasCpu(flags, kCpuSse2)) return stream && k.sse2Stream ? k.sse2Stream : k.sse2;
  return k.plain;
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
void Convert(const RowKernels& kernels, bool rounds, Rows dst, ConstRows src, std::int32_t width,
             std::int32_t height, std::int32_t dstElementBytes) {
  const bool stream = Streams(dst, width, height, dstElementBytes);
  const ConvertRowFn kernel = Pick(kernels, stream);
  if (rounds) {
    const RoundToNearestBracket bracket;
    WalkRows(kernel, dst, src, width, height);
  } else {
    WalkRows(kernel, dst, src, width, height);
  }
  // Orders the streamed stores before whatever the caller writes next.
  if (kernel != nullptr &&
      (kernel == kernels.avx512Stream || kernel == kernels.avx2Stream || kernel == kernels.sse2Stream))
    FinishStreamingStores();
}

}  // namespace

void ConvertArgbToArgbFloat(Rows dst, ConstRows src, std::int32_t width, std::int32_t height) {
  static constexpr RowKernels kernels{ArgbToArgbFloatRowAvx2,        nullptr,
                                      ArgbToArgbFloatRowSse2,        nullptr,
                                      ArgbToArgbFloatRow,            ArgbToArgbFloatRowAvx512<false>,
                                      ArgbToArgbFloatRowAvx512<true>};
  Convert(kernels, false, dst, src, width, height, kArgbFloatImageBytes);
}

void ConvertArgbFloatToArgb(Rows dst, ConstRows src, std::int32_t width, std::int32_t height) {
  static constexpr RowKernels kernels{ArgbFloatToArgbRowAvx2<false>, ArgbFloatToArgbRowAvx2<true>,
                                      ArgbFloatToArgbRowSse2<false>, ArgbFloatToArgbRowSse2<true>,
                                      ArgbFloatToArgbRow};
  Convert(kernels, true, dst, src, width, height, kArgbImageBytes);
}

void ConvertChannelToFloatMask(Rows dst, ConstRows src, std::int32_t channel, std::int32_t width,
                               std::int32_t height, const Byte* table) {
  MapChannelRows(dst, src, static_cast<std::uint32_t>(channel) & 3u, width, height, table);
}

void ConvertFloatMaskToArgb(Rows dst, ConstRows src, std::int32_t width, std::int32_t height) {
  static constexpr RowKernels kernels{FloatMaskToArgbRowAvx2<false>, FloatMaskToArgbRowAvx2<true>,
                                      FloatMaskToArgbRowSse2<false>, FloatMaskToArgbRowSse2<true>,
                                      FloatMaskToArgbRow};
  Convert(kernels, true, dst, src, width, height, kArgbImageBytes);
}

}  // namespace morvex::pixel
