#include "pixel/lut.h"

#include <cstdint>

#include "frame/cpu_features.h"
#include "frame/diagnostics.h"

namespace morvex::pixel {

// ---- Plain row kernels (every processor; the tails of the vector kernels) ----

void LutRow(Byte* row, std::int32_t width, const LutTables& tables) {
  for (std::int32_t x = 0; x < width; ++x) {
    Byte* p = row + ElementOffset(x, kArgbImageBytes);
    StoreU32(p, LutPixel(LoadU32(p), tables.table));
  }
}

void LutWithAlphaClampRow(Byte* row, std::int32_t width, const LutTables& tables) {
  for (std::int32_t x = 0; x < width; ++x) {
    Byte* p = row + ElementOffset(x, kArgbImageBytes);
    StoreU32(p, LutWithAlphaClampPixel(LoadU32(p), tables.table));
  }
}

void SplitChannelLut(const Byte* table, SplitLut& split) {
  for (unsigned k = 0; k < 4; ++k)
    for (unsigned i = 0; i < kLutEntries; ++i)
      split.channel[k][i] = static_cast<std::uint32_t>(ChannelLutValue(table, i, k)) << (8 * k);
}

void ColumnChannelLut(const Byte* table, LutColumns& columns) {
  for (unsigned k = 0; k < 4; ++k)
    for (unsigned i = 0; i < kLutEntries; ++i)
      columns.channel[k][i] = ChannelLutValue(table, i, k);
}

void ChannelMapRow(Byte* dst, const Byte* src, std::int32_t width, unsigned channel,
                   const Byte* table) {
  for (std::int32_t x = 0; x < width; ++x) {
    const std::ptrdiff_t offset = ElementOffset(x, kArgbImageBytes);
    StoreU32(dst + offset, ChannelMapPixel(LoadU32(src + offset), channel, table));
  }
}

void ChannelMergeRow(Byte* row, std::int32_t width, std::uint32_t mask, const Byte* table) {
  for (std::int32_t x = 0; x < width; ++x) {
    Byte* p = row + ElementOffset(x, kArgbImageBytes);
    StoreU32(p, ChannelMergePixel(LoadU32(p), mask, table));
  }
}

// ---- Routines ----

namespace {

// The SSE2 kernels serve the AVX2 path too: 32-bit gathers measure slower
// than their scalar table loads, and the loads dominate every kernel here.
bool UseSse2() { return HasCpu(CpuFeatureFlags(), kCpuSse2); }

bool UseVbmi() { return HasCpu(CpuFeatureFlags(), kCpuAvx512 | kCpuAvx512Vbmi); }

void WalkInPlace(LutRowFn kernel, Rows image, std::int32_t width, std::int32_t height,
                 const Byte* table) {
  if (width <= 0 || height <= 0) return;
  LutTables tables;
  tables.table = table;
  SplitChannelLut(table, tables.split);
  ColumnChannelLut(table, tables.columns);
  for (std::int32_t y = 0; y < height; ++y) {
    kernel(image.row, width, tables);
    image.Next();
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
  WalkInPlace(UseVbmi()   ? LutRowAvx512Vbmi
              : UseSse2() ? LutRowSplit
                          : LutRow,
              image, width, height, table);
}

void ApplyLutWithAlphaClamp(Rows image, std::int32_t width, std::int32_t height,
                            const Byte* table) {
  const std::uint32_t flags = CpuFeatureFlags();
  WalkInPlace(UseVbmi()                  ? LutWithAlphaClampRowAvx512Vbmi
              : HasCpu(flags, kCpuAvx2) ? LutWithAlphaClampRowAvx2
              : HasCpu(flags, kCpuSse2) ? LutWithAlphaClampRowSse2
                                        : LutWithAlphaClampRow,
              image, width, height, table);
}

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

}  // namespace

void MapChannelRows(Rows dst, ConstRows src, unsigned channel, std::int32_t width,
                    std::int32_t height, const Byte* table) {
  if (width <= 0 || height <= 0) return;
  const bool vbmi = UseVbmi();
  const ChannelMapRowFn kernel = UseSse2() ? ChannelMapRowSse2 : ChannelMapRow;
  LutColumns columns;
  if (vbmi) ColumnChannelLut(table, columns);
  for (std::int32_t y = 0; y < height; ++y) {
    if (PartlyOverlapping(dst.row, src.row, width))
      ChannelMapRow(dst.row, src.row, width, channel, table);
    else if (vbmi)
      ChannelMapRowAvx512Vbmi(dst.row, src.row, width, channel, columns);
    else
      kernel(dst.row, src.row, width, channel, table);
    dst.Next();
    src.Next();
  }
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
  if (width <= 0 || height <= 0) return;
  const std::int32_t count = channelCount < 0                   ? 0
                             : channelCount > kMaxMergeChannels ? kMaxMergeChannels
                                                                : channelCount;
  const std::uint32_t mask = MergeMask(count);
  if (UseVbmi()) {
    LutColumns columns;
    ColumnChannelLut(table, columns);
    for (std::int32_t y = 0; y < height; ++y, image.Next())
      ChannelMergeRowAvx512Vbmi(image.row, width, mask, columns);
    return;
  }
  const ChannelMergeRowFn kernel = UseSse2() ? ChannelMergeRowSse2 : ChannelMergeRow;
  for (std::int32_t y = 0; y < height; ++y, image.Next()) kernel(image.row, width, mask, table);
}

}  // namespace morvex::pixel
