// Plane and table layouts shared by every subsystem, and the row walk.
//
// Host memory carries no alignment promise, so multi-byte values in planes and
// tables are always read and written through the Load/Store helpers below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "frame/compiler.h"

namespace morvex {

using Byte = std::uint8_t;

// Channel indices inside an ARGB pixel (a little-endian 0xAARRGGBB word).
enum Channel : int { kBlue = 0, kGreen = 1, kRed = 2, kAlpha = 3 };

// Element sizes of the shared plane types.
inline constexpr int kArgbImageBytes = 4;        // ArgbImage: B, G, R, A bytes
inline constexpr int kArgbFloatImageBytes = 16;  // ArgbFloatImage: four floats B, G, R, A
inline constexpr int kFloatMaskBytes = 4;        // FloatMask: one float
inline constexpr int kLutEntries = 256;          // ChannelLut, PixelLut, FloatLut

MORVEX_INLINE std::uint32_t LoadU32(const void* p) {
  std::uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
MORVEX_INLINE void StoreU32(void* p, std::uint32_t v) { std::memcpy(p, &v, sizeof v); }
MORVEX_INLINE float LoadF32(const void* p) {
  float v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
MORVEX_INLINE void StoreF32(void* p, float v) { std::memcpy(p, &v, sizeof v); }
MORVEX_INLINE double LoadF64(const void* p) {
  double v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
MORVEX_INLINE std::int32_t LoadI32(const void* p) {
  std::int32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
MORVEX_INLINE void StoreI32(void* p, std::int32_t v) { std::memcpy(p, &v, sizeof v); }

// Byte offset of element `index` at `step` bytes apart, computed in 64 bits.
MORVEX_INLINE std::ptrdiff_t ElementOffset(std::int32_t index, std::int32_t step) {
  return static_cast<std::ptrdiff_t>(static_cast<std::int64_t>(index) * step);
}

// A row cursor over a plane: the current row start and the signed stride.
// Rows are visited from the given first row onward; Next() adds the stride,
// so a negative stride walks a bottom-up plane.
template <class T>
struct RowCursor {
  T* row;
  std::int32_t stride;

  MORVEX_INLINE void Next() {
    using B = std::conditional_t<std::is_const_v<T>, const Byte, Byte>;
    row = reinterpret_cast<T*>(reinterpret_cast<B*>(row) + stride);
  }
  // Row `y` rows below the first, without walking (64-bit offset).
  MORVEX_INLINE T* RowAt(std::int32_t y) const {
    using B = std::conditional_t<std::is_const_v<T>, const Byte, Byte>;
    return reinterpret_cast<T*>(reinterpret_cast<B*>(row) + ElementOffset(y, stride));
  }
};

using Rows = RowCursor<Byte>;
using ConstRows = RowCursor<const Byte>;

// ChannelLut: 256 entries of four bytes; entry i, byte k is channel k's output for input i.
MORVEX_INLINE Byte ChannelLutValue(const Byte* table, unsigned index, unsigned channel) {
  return table[index * 4u + channel];
}
// PixelLut: 256 whole 32-bit pixels.
MORVEX_INLINE std::uint32_t PixelLutValue(const Byte* table, unsigned index) {
  return LoadU32(table + index * 4u);
}
// FloatLut: 256 floats.
MORVEX_INLINE float FloatLutValue(const Byte* table, unsigned index) { return LoadF32(table + index * 4u); }

// The low byte of a one-byte flag passed in a 32-bit slot.
MORVEX_INLINE bool LowByteSet(std::uint32_t flag) { return (flag & 0xFFu) != 0; }

}  // namespace morvex
