// Remapping of ARGB pixels through host tables: per-channel curves (ChannelLut)
// and whole-pixel maps driven by one channel or by a sum of channels (PixelLut).
#pragma once

#include <cstdint>

#include "frame/plane.h"

namespace morvex::pixel {

// ---- Per-pixel definitions ----

inline std::uint32_t PackArgb(unsigned b, unsigned g, unsigned r, unsigned a) {
  return b | (g << 8) | (r << 16) | (a << 24);
}

inline unsigned ChannelOf(std::uint32_t pixel, unsigned channel) {
  return (pixel >> (8 * channel)) & 0xFFu;
}

// Each channel through its own column of the table; no clamping to alpha.
inline std::uint32_t LutPixel(std::uint32_t pixel, const Byte* table) {
  return PackArgb(ChannelLutValue(table, ChannelOf(pixel, kBlue), kBlue),
                  ChannelLutValue(table, ChannelOf(pixel, kGreen), kGreen),
                  ChannelLutValue(table, ChannelOf(pixel, kRed), kRed),
                  ChannelLutValue(table, ChannelOf(pixel, kAlpha), kAlpha));
}

// Each colour byte limited to the pixel's alpha byte.
inline std::uint32_t ClampToAlpha(std::uint32_t pixel) {
  const unsigned a = ChannelOf(pixel, kAlpha);
  const unsigned b = ChannelOf(pixel, kBlue), g = ChannelOf(pixel, kGreen), r = ChannelOf(pixel, kRed);
  return PackArgb(b < a ? b : a, g < a ? g : a, r < a ? r : a, a);
}

// As LutPixel, then each colour is limited to the new alpha (the looked-up
// one), so the result stays premultiplied. Every lookup uses the pixel's
// original bytes.
inline std::uint32_t LutWithAlphaClampPixel(std::uint32_t pixel, const Byte* table) {
  return ClampToAlpha(LutPixel(pixel, table));
}

// The whole pixel from the table entry of one channel (0..3).
inline std::uint32_t ChannelMapPixel(std::uint32_t pixel, unsigned channel, const Byte* table) {
  return PixelLutValue(table, ChannelOf(pixel, channel));
}

// The largest number of channels ChannelMergeLut adds: a pixel has four.
inline constexpr std::int32_t kMaxMergeChannels = 4;

// The bytes ChannelMergeLut adds: 0 .. count - 1, count already limited to 0..4.
inline std::uint32_t MergeMask(std::int32_t count) {
  return count >= kMaxMergeChannels ? 0xFFFFFFFFu : (1u << (8 * count)) - 1u;
}

// The table index of ChannelMergeLut: the kept bytes added, saturated at 255.
inline unsigned ChannelMergeIndex(std::uint32_t pixel, std::uint32_t mask) {
  const std::uint32_t kept = pixel & mask;
  const unsigned sum = ChannelOf(kept, kBlue) + ChannelOf(kept, kGreen) + ChannelOf(kept, kRed) +
                       ChannelOf(kept, kAlpha);
  return sum > 255u ? 255u : sum;
}

inline std::uint32_t ChannelMergePixel(std::uint32_t pixel, std::uint32_t mask, const Byte* table) {
  return PixelLutValue(table, ChannelMergeIndex(pixel, mask));
}

// ---- Row kernels: one row of `width` pixels (width >= 1) ----

// A ChannelLut split into one table of 32-bit words per channel, each byte
// already in its channel's position: a pixel becomes the OR of four loads.
struct SplitLut {
  std::uint32_t channel[4][kLutEntries];
};
void SplitChannelLut(const Byte* table, SplitLut& split);

// A ChannelLut as four columns of bytes, column k entry i = byte k of entry
// i, for kernels that hold the table in vector registers.
struct alignas(64) LutColumns {
  Byte channel[4][kLutEntries];
};
void ColumnChannelLut(const Byte* table, LutColumns& columns);

// In-place rows with a ChannelLut given three ways: the plain kernels read
// `table`, the fast ones `split` or `columns`.
struct LutTables {
  const Byte* table;
  SplitLut split;
  LutColumns columns;
};
using LutRowFn = void (*)(Byte* row, std::int32_t width, const LutTables& tables);
void LutRow(Byte* row, std::int32_t width, const LutTables& tables);
void LutWithAlphaClampRow(Byte* row, std::int32_t width, const LutTables& tables);
void LutRowSplit(Byte* row, std::int32_t width, const LutTables& tables);
void LutWithAlphaClampRowSse2(Byte* row, std::int32_t width, const LutTables& tables);
void LutWithAlphaClampRowAvx2(Byte* row, std::int32_t width, const LutTables& tables);
// AVX-512 VBMI: sixteen pixels per step from `columns`.
void LutRowAvx512Vbmi(Byte* row, std::int32_t width, const LutTables& tables);
void LutWithAlphaClampRowAvx512Vbmi(Byte* row, std::int32_t width, const LutTables& tables);

// The fast LutWithAlphaClamp rows: the lookups of LutRowSplit, then each
// colour limited to the new alpha by `clamp`, a chunk of kLutClampChunk
// pixels at a time (the looked-up pixels are still in the first-level cache
// when the clamp pass reads them back). The same bytes as
// LutWithAlphaClampPixel, which clamps to the looked-up alpha.
using ClampRowFn = void (*)(Byte* row, std::int32_t width);
inline constexpr std::int32_t kLutClampChunk = 256;
void LutThenClampRows(Byte* row, std::int32_t width, const LutTables& tables, ClampRowFn clamp);

// ClampToAlpha over a row, in place.
void ClampToAlphaRowSse2(Byte* row, std::int32_t width);

// dst pixel x = table[byte `channel` of src pixel x]; dst may be src itself.
using ChannelMapRowFn = void (*)(Byte* dst, const Byte* src, std::int32_t width,
                                 unsigned channel, const Byte* table);
void ChannelMapRow(Byte* dst, const Byte* src, std::int32_t width, unsigned channel,
                   const Byte* table);
void ChannelMapRowSse2(Byte* dst, const Byte* src, std::int32_t width, unsigned channel,
                       const Byte* table);
// AVX-512 VBMI, from the table's byte columns; rows whose pixels partly
// overlap their source take ChannelMapRow.
void ChannelMapRowAvx512Vbmi(Byte* dst, const Byte* src, std::int32_t width, unsigned channel,
                             const LutColumns& columns);

// In place; `mask` from MergeMask.
using ChannelMergeRowFn = void (*)(Byte* row, std::int32_t width, std::uint32_t mask,
                                   const Byte* table);
void ChannelMergeRow(Byte* row, std::int32_t width, std::uint32_t mask, const Byte* table);
void ChannelMergeRowSse2(Byte* row, std::int32_t width, std::uint32_t mask, const Byte* table);
void ChannelMergeRowAvx512Vbmi(Byte* row, std::int32_t width, std::uint32_t mask,
                               const LutColumns& columns);

// ---- Whole-region routines behind the exports ----

void ApplyLut(Rows image, std::int32_t width, std::int32_t height, const Byte* table);
void ApplyLutWithAlphaClamp(Rows image, std::int32_t width, std::int32_t height,
                            const Byte* table);

// dst pixel x = table[byte `channel` (0..3) of src pixel x], row by row; the
// table may be a PixelLut or a FloatLut (both copied as 32-bit words).
void MapChannelRows(Rows dst, ConstRows src, unsigned channel, std::int32_t width,
                    std::int32_t height, const Byte* table);

// Both refuse a channel above 3 (compared unsigned) before anything else,
// writing the shared diagnostic line; they return false then, true otherwise.
bool MapChannel(Rows image, std::int32_t channel, std::int32_t width, std::int32_t height,
                const Byte* table);
bool MapChannelTo(Rows dst, ConstRows src, std::int32_t channel, std::int32_t width,
                  std::int32_t height, const Byte* table);

// channelCount above 4 counts as 4, so no byte outside the pixel is read;
// 0 or less selects entry 0.
void MergeChannels(Rows image, std::int32_t channelCount, std::int32_t width,
                   std::int32_t height, const Byte* table);

}  // namespace morvex::pixel
