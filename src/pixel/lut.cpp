#include "pixel/lut.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frame/cpu_features.h"
#include "frame/diagnostics.h"

namespace morvex::pixel {

// ---- Row kernels ----

namespace {

// The scalar entries: the per-pixel definitions, pixel by pixel.
template <class Pixel>
void EachPixel(Byte* dst, const Byte* src, std::int32_t width, Pixel&& pixel) {
  for (std::int32_t x = 0; x < width; ++x) {
    const std::ptrdiff_t offset = ElementOffset(x, kArgbImageBytes);
    StoreU32(dst + offset, pixel(LoadU32(src + offset)));
  }
}

void LutRowScalar(Byte* dst, const Byte* src, std::int32_t width, std::uint32_t, const LutTables& t) {
  EachPixel(dst, src, width, [&](std::uint32_t p) { return LutPixel(p, t.table); });
}
void LutWithAlphaClampRowScalar(Byte* dst, const Byte* src, std::int32_t width, std::uint32_t,
                                const LutTables& t) {
  EachPixel(dst, src, width, [&](std::uint32_t p) { return LutWithAlphaClampPixel(p, t.table); });
}
void ChannelMapRowScalar(Byte* dst, const Byte* src, std::int32_t width, std::uint32_t channel,
                         const LutTables& t) {
  EachPixel(dst, src, width, [&](std::uint32_t p) { return ChannelMapPixel(p, channel, t.table); });
}
void ChannelMergeRowScalar(Byte* dst, const Byte* src, std::int32_t width, std::uint32_t mask,
                           const LutTables& t) {
  EachPixel(dst, src, width, [&](std::uint32_t p) { return ChannelMergePixel(p, mask, t.table); });
}

// The split-table lookup of the pixel at p. Blue and green are cut out of
// the pixel word, red and alpha loaded as single bytes: that balances shift
// and load work, measurably faster than either alone.
MORVEX_INLINE std::uint32_t SplitLutPixelAt(const Byte* p, const SplitLut& split) {
  const std::uint32_t word = LoadU32(p);
  return split.channel[kBlue][ChannelOf(word, kBlue)] |
         split.channel[kGreen][ChannelOf(word, kGreen)] | split.channel[kRed][p[kRed]] |
         split.channel[kAlpha][p[kAlpha]];
}

}  // namespace

void LutRowSplit(Byte* dst, const Byte* src, std::int32_t width, std::uint32_t,
                 const LutTables& tables) {
  const SplitLut& split = tables.split;
  std::int32_t x = 0;
  for (; x <= width - 2; x += 2) {
    const std::ptrdiff_t offset = ElementOffset(x, kArgbImageBytes);
    const std::uint64_t pair =
        SplitLutPixelAt(src + offset, split) |
        static_cast<std::uint64_t>(SplitLutPixelAt(src + offset + kArgbImageBytes, split)) << 32;
    std::memcpy(dst + offset, &pair, sizeof pair);
  }
  if (x < width) {
    const std::ptrdiff_t offset = ElementOffset(x, kArgbImageBytes);
    StoreU32(dst + offset, SplitLutPixelAt(src + offset, split));
  }
}

void PrepareLutTables(const Byte* table, LutForm form, LutTables& tables) {
  tables.table = table;
  if (form == LutForm::kSplit) {
    for (unsigned k = 0; k < 4; ++k)
      for (unsigned i = 0; i < kLutEntries; ++i)
        tables.split.channel[k][i] = static_cast<std::uint32_t>(ChannelLutValue(table, i, k)) << (8 * k);
  } else if (form == LutForm::kColumns) {
    for (unsigned k = 0; k < 4; ++k)
      for (unsigned i = 0; i < kLutEntries; ++i) tables.columns.channel[k][i] = ChannelLutValue(table, i, k);
  }
}

constinit const LutKernels kLutKernelsScalar = {&LutRowScalar};
constinit const LutKernels kLutWithAlphaClampKernelsScalar = {&LutWithAlphaClampRowScalar};
constinit const LutKernels kChannelMapKernelsScalar = {&ChannelMapRowScalar};
constinit const LutKernels kChannelMergeKernelsScalar = {&ChannelMergeRowScalar};

// Levels without an entry of their own take the next narrower one.
constinit const KernelTable<LutKernels> kLutKernelTable("lut", &kLutKernelsScalar, &kLutKernelsSse2,
                                                        nullptr, nullptr, &kLutKernelsAvx512Vbmi);
constinit const KernelTable<LutKernels> kLutWithAlphaClampKernelTable(
    "lut.alpha_clamp", &kLutWithAlphaClampKernelsScalar, &kLutWithAlphaClampKernelsSse2,
    &kLutWithAlphaClampKernelsAvx2, nullptr, &kLutWithAlphaClampKernelsAvx512Vbmi);
constinit const KernelTable<LutKernels> kChannelMapKernelTable(
    "channel_map", &kChannelMapKernelsScalar, &kChannelMapKernelsSse2, nullptr, nullptr,
    &kChannelMapKernelsAvx512Vbmi);
constinit const KernelTable<LutKernels> kChannelMergeKernelTable(
    "channel_merge", &kChannelMergeKernelsScalar, &kChannelMergeKernelsSse2, nullptr, nullptr,
    &kChannelMergeKernelsAvx512Vbmi);

// ---- Routines ----

namespace {

// Rows whose pixels overlap without being the same pixels: only the pixel by
// pixel definition gives their result (a later pixel may read what an earlier
// one wrote).
bool PartlyOverlapping(const Byte* dst, const Byte* src, std::int32_t width) {
  if (dst == src) return false;
  const auto d = reinterpret_cast<std::uintptr_t>(dst), s = reinterpret_cast<std::uintptr_t>(src);
  const auto bytes = static_cast<std::uintptr_t>(ElementOffset(width, kArgbImageBytes));
  return d < s + bytes && s < d + bytes;
}

// The row walk of all four operations; in place, dst and src are the same rows.
void WalkLut(const KernelTable<LutKernels>& table, Rows dst, ConstRows src, std::int32_t width,
             std::int32_t height, std::uint32_t arg, const Byte* lut) {
  if (width <= 0 || height <= 0) return;
  const LutKernels& kernels = table.For(CpuFeatureFlags());
  const LutRowFn scalar = table.At(InstructionSet::kScalar)->row;
  LutTables tables;
  PrepareLutTables(lut, kernels.reads, tables);
  for (std::int32_t y = 0; y < height; ++y) {
    const LutRowFn row = PartlyOverlapping(dst.row, src.row, width) ? scalar : kernels.row;
    row(dst.row, src.row, width, arg, tables);
    dst.Next();
    src.Next();
  }
}

bool ChannelValid(std::int32_t channel) {
  if (static_cast<std::uint32_t>(channel) > 3u) {
    WriteDiagnostic("ChannelMap: invalid channel value");
    return false;
  }
  return true;
}

}  // namespace

void ApplyLut(Rows image, std::int32_t width, std::int32_t height, const Byte* table) {
  WalkLut(kLutKernelTable, image, {image.row, image.stride}, width, height, 0, table);
}

void ApplyLutWithAlphaClamp(Rows image, std::int32_t width, std::int32_t height,
                            const Byte* table) {
  WalkLut(kLutWithAlphaClampKernelTable, image, {image.row, image.stride}, width, height, 0, table);
}

void MapChannelRows(Rows dst, ConstRows src, unsigned channel, std::int32_t width,
                    std::int32_t height, const Byte* table) {
  WalkLut(kChannelMapKernelTable, dst, src, width, height, channel, table);
}

bool MapChannelTo(Rows dst, ConstRows src, std::int32_t channel, std::int32_t width,
                  std::int32_t height, const Byte* table) {
  if (!ChannelValid(channel)) return false;
  MapChannelRows(dst, src, static_cast<unsigned>(channel), width, height, table);
  return true;
}

bool MapChannel(Rows image, std::int32_t channel, std::int32_t width, std::int32_t height,
                const Byte* table) {
  return MapChannelTo(image, {image.row, image.stride}, channel, width, height, table);
}

void MergeChannels(Rows image, std::int32_t channelCount, std::int32_t width,
                   std::int32_t height, const Byte* table) {
  const std::int32_t count = channelCount < 0                   ? 0
                             : channelCount > kMaxMergeChannels ? kMaxMergeChannels
                                                                : channelCount;
  WalkLut(kChannelMergeKernelTable, image, {image.row, image.stride}, width, height,
          MergeMask(count), table);
}

}  // namespace morvex::pixel
