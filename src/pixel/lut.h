// Remapping of ARGB pixels through host tables: per-channel curves (ChannelLut)
// and whole-pixel maps driven by one channel or by a sum of channels (PixelLut).
#pragma once

#include <cstdint>

#include "frame/compiler.h"
#include "frame/dispatch.h"
#include "frame/plane.h"

namespace morvex::pixel {

// ---- Per-pixel definitions ----

MORVEX_INLINE std::uint32_t PackArgb(unsigned b, unsigned g, unsigned r, unsigned a) {
  return b | (g << 8) | (r << 16) | (a << 24);
}

MORVEX_INLINE unsigned ChannelOf(std::uint32_t pixel, unsigned channel) {
  return (pixel >> (8 * channel)) & 0xFFu;
}

// Each channel through its own column of the table; no clamping to alpha.
MORVEX_INLINE std::uint32_t LutPixel(std::uint32_t pixel, const Byte* table) {
  return PackArgb(ChannelLutValue(table, ChannelOf(pixel, kBlue), kBlue),
                  ChannelLutValue(table, ChannelOf(pixel, kGreen), kGreen),
                  ChannelLutValue(table, ChannelOf(pixel, kRed), kRed),
                  ChannelLutValue(table, ChannelOf(pixel, kAlpha), kAlpha));
}

// Each colour byte limited to the pixel's alpha byte.
MORVEX_INLINE std::uint32_t ClampToAlpha(std::uint32_t pixel) {
  const unsigned a = ChannelOf(pixel, kAlpha);
  const unsigned b = ChannelOf(pixel, kBlue), g = ChannelOf(pixel, kGreen), r = ChannelOf(pixel, kRed);
  return PackArgb(b < a ? b : a, g < a ? g : a, r < a ? r : a, a);
}

// As LutPixel, then each colour is limited to the new alpha (the looked-up
// one), so the result stays premultiplied. Every lookup uses the pixel's
// original bytes.
MORVEX_INLINE std::uint32_t LutWithAlphaClampPixel(std::uint32_t pixel, const Byte* table) {
  return ClampToAlpha(LutPixel(pixel, table));
}

// The whole pixel from the table entry of one channel (0..3).
MORVEX_INLINE std::uint32_t ChannelMapPixel(std::uint32_t pixel, unsigned channel, const Byte* table) {
  return PixelLutValue(table, ChannelOf(pixel, channel));
}

// The largest number of channels ChannelMergeLut adds: a pixel has four.
inline constexpr std::int32_t kMaxMergeChannels = 4;

// The bytes ChannelMergeLut adds: 0 .. count - 1, count already limited to 0..4.
MORVEX_INLINE std::uint32_t MergeMask(std::int32_t count) {
  return count >= kMaxMergeChannels ? 0xFFFFFFFFu : (1u << (8 * count)) - 1u;
}

// The table index of ChannelMergeLut: the kept bytes added, saturated at 255.
MORVEX_INLINE unsigned ChannelMergeIndex(std::uint32_t pixel, std::uint32_t mask) {
  const std::uint32_t kept = pixel & mask;
  const unsigned sum = ChannelOf(kept, kBlue) + ChannelOf(kept, kGreen) + ChannelOf(kept, kRed) +
                       ChannelOf(kept, kAlpha);
  return sum > 255u ? 255u : sum;
}

MORVEX_INLINE std::uint32_t ChannelMergePixel(std::uint32_t pixel, std::uint32_t mask, const Byte* table) {
  return PixelLutValue(table, ChannelMergeIndex(pixel, mask));
}

// ---- Row kernels: one row of `width` pixels (width >= 1) ----

// A ChannelLut split into one table of 32-bit words per channel, each byte
// already in its channel's position: a pixel becomes the OR of four loads.
struct SplitLut {
  std::uint32_t channel[4][kLutEntries];
};

// A ChannelLut or PixelLut as four columns of bytes, column k entry i = byte
// k of entry i, for kernels that hold the table in vector registers.
struct alignas(64) LutColumns {
  Byte channel[4][kLutEntries];
};

// Which form of the table a kernel reads besides the host's own.
enum class LutForm : std::uint8_t { kHostTable, kSplit, kColumns };

// The host's table and the form its kernels read, prepared once per call.
struct LutTables {
  const Byte* table;
  SplitLut split;
  LutColumns columns;
};
void PrepareLutTables(const Byte* table, LutForm form, LutTables& tables);

// dst pixel x from src pixel x, for all four operations; in place, dst is
// src. `arg` is ChannelMap's channel (0..3) or ChannelMergeLut's MergeMask,
// unused by Lut and LutWithAlphaClamp.
using LutRowFn = void (*)(Byte* dst, const Byte* src, std::int32_t width, std::uint32_t arg,
                          const LutTables& tables);

struct LutKernels {
  LutRowFn row;
  LutForm reads = LutForm::kHostTable;
};

// Lut from the split table, two pixels per 64-bit store: scalar loads, the
// fastest lookups on processors without VBMI (SSE2 has no gather, and
// AVX2's 32-bit gathers measure slower than these loads).
void LutRowSplit(Byte* dst, const Byte* src, std::int32_t width, std::uint32_t,
                 const LutTables& tables);

extern const LutKernels kLutKernelsSse2;
extern const LutKernels kLutKernelsAvx512Vbmi;
extern const LutKernels kLutWithAlphaClampKernelsSse2;
extern const LutKernels kLutWithAlphaClampKernelsAvx2;
extern const LutKernels kLutWithAlphaClampKernelsAvx512Vbmi;
extern const LutKernels kChannelMapKernelsSse2;
extern const LutKernels kChannelMapKernelsAvx512Vbmi;
extern const LutKernels kChannelMergeKernelsSse2;
extern const LutKernels kChannelMergeKernelsAvx512Vbmi;

// The scalar entries apply the per-pixel definitions pixel by pixel.
extern const KernelTable<LutKernels> kLutKernelTable;
extern const KernelTable<LutKernels> kLutWithAlphaClampKernelTable;
extern const KernelTable<LutKernels> kChannelMapKernelTable;
extern const KernelTable<LutKernels> kChannelMergeKernelTable;

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
