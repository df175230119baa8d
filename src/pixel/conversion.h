// Conversions between 8-bit ARGB pixels, float ARGB pixels (four floats B, G,
// R, A holding 0..255) and float masks.
#pragma once

#include <cstdint>

#include "frame/compiler.h"
#include "frame/convert.h"
#include "frame/dispatch.h"
#include "frame/plane.h"

namespace morvex::pixel {

// ---- Per-element definitions ----

// A float back to a byte: conversion in the current rounding mode (inside the
// round-to-nearest bracket: halves to even), then clamped to 0..255. Values
// without an integer conversion (NaN, infinities, |v| >= 2^31) give the
// integer-indefinite value, which the clamp turns into 0.
MORVEX_INLINE Byte FloatToByte(float value) {
  const std::int32_t i = ConvertCurrentMode(value);
  return i < 0 ? Byte{0} : i > 255 ? Byte{255} : static_cast<Byte>(i);
}

// One ARGB pixel to four floats of the same values.
MORVEX_INLINE void ArgbToArgbFloatPixel(Byte* dst, const Byte* src) {
  for (int k = 0; k < 4; ++k) StoreF32(dst + 4 * k, static_cast<float>(src[k]));
}

// Four floats to one ARGB pixel, channel by channel in the order B, G, R, A.
MORVEX_INLINE void ArgbFloatToArgbPixel(Byte* dst, const Byte* src) {
  for (int k = 0; k < 4; ++k) dst[k] = FloatToByte(LoadF32(src + 4 * k));
}

// One mask value to a grey pixel: the same byte in all four channels.
MORVEX_INLINE void FloatMaskToArgbElement(Byte* dst, const Byte* src) {
  StoreU32(dst, FloatToByte(LoadF32(src)) * 0x01010101u);
}

// ---- Row kernels: one row of `width` elements (width >= 1) ----

using ConvertRowFn = void (*)(Byte* dst, const Byte* src, std::int32_t width);

// The row kernels of one conversion on one instruction set. `stream` writes
// the row's whole vectors with non-temporal stores, starting at the first
// element whose destination address is a multiple of the vector size (the
// elements before it take plain stores), for destinations too large to stay
// in the caches; FinishStreamingStores must run after its last row. Null
// where the conversion has no streaming form on that instruction set: `row`
// serves then. The kernels of the conversions back to bytes round in the
// current mode: call them inside the bracket.
struct ConvertKernels {
  ConvertRowFn row;
  ConvertRowFn stream = nullptr;
};

extern const ConvertKernels kArgbToArgbFloatKernelsSse2;
extern const ConvertKernels kArgbToArgbFloatKernelsAvx2;
extern const ConvertKernels kArgbToArgbFloatKernelsAvx512;
extern const ConvertKernels kArgbFloatToArgbKernelsSse2;
extern const ConvertKernels kArgbFloatToArgbKernelsAvx2;
extern const ConvertKernels kFloatMaskToArgbKernelsSse2;
extern const ConvertKernels kFloatMaskToArgbKernelsAvx2;

// The scalar entries apply the per-element definitions element by element.
extern const KernelTable<ConvertKernels> kArgbToArgbFloatKernelTable;
extern const KernelTable<ConvertKernels> kArgbFloatToArgbKernelTable;
extern const KernelTable<ConvertKernels> kFloatMaskToArgbKernelTable;

// Orders the streamed stores before whatever the caller writes next.
void FinishStreamingStores();

// ---- Whole-region routines behind the exports ----

void ConvertArgbToArgbFloat(Rows dst, ConstRows src, std::int32_t width, std::int32_t height);
void ConvertArgbFloatToArgb(Rows dst, ConstRows src, std::int32_t width, std::int32_t height);
// A FloatLut entry is copied as its 32-bit word, exactly like a PixelLut
// entry, so this shares the ChannelMap row kernels. Only the low two bits of
// `channel` select the byte, so every read stays inside the source pixel.
void ConvertChannelToFloatMask(Rows dst, ConstRows src, std::int32_t channel, std::int32_t width,
                               std::int32_t height, const Byte* table);
void ConvertFloatMaskToArgb(Rows dst, ConstRows src, std::int32_t width, std::int32_t height);

}  // namespace morvex::pixel
