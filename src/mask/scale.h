// Bilinear scaling of a float-mask rectangle onto another, with 2048 steps
// per source pixel in 32-bit fixed point, combined with the destination by
// replacing, blending or multiplying.
#pragma once

#include <cstdint>

#include "frame/convert.h"
#include "frame/plane.h"

namespace morvex::mask {

// A rectangle in pixel units: the corner at the lowest column and row, then
// the extent (which clipping can make zero or negative).
struct FloatRect {
  float x, y, width, height;
};

// Intersects rect with clip, in place (nothing is clamped).
void ClipRect(const FloatRect& clip, FloatRect& rect);

// The combination of a sample s with the destination element d.
enum ScaleMaskMode : std::int32_t {
  kScaleReplace = 0,   // d = s
  kScaleBlend = 1,     // d = s * amount + (1 - amount) * d
  kScaleMultiply = 2,  // d = s * d
};
// Values other than blend and multiply replace.
inline ScaleMaskMode NormalizeScaleMode(std::int32_t mode) {
  return mode == kScaleBlend || mode == kScaleMultiply ? static_cast<ScaleMaskMode>(mode)
                                                       : kScaleReplace;
}

// Fixed point: a position holds a source coordinate times 2048.
inline constexpr int kFractionBits = 11;
inline constexpr std::int32_t kFractionCount = 1 << kFractionBits;
inline constexpr std::int32_t kFractionMask = kFractionCount - 1;

// The process-wide table of the 2048 fractions i / 2048 (as singles), filled
// once on first use; FractionTableReady tells whether that has happened.
const float* FractionTable();
bool FractionTableReady();

// A position split into a source index and a fraction index. Negative
// positions (a start a fraction below zero, or a wrapped position) sample
// index 0 exactly; indices past `last` are limited to it.
struct SourceIndex {
  std::int32_t index;
  std::int32_t fraction;
};
inline SourceIndex SplitPosition(std::int32_t position, std::int32_t last) {
  if (position < 0) return {0, 0};
  const std::int32_t index = position >> kFractionBits;
  return {index < last ? index : last, position & kFractionMask};
}

// The running position after `steps` steps, wrapping modulo 2^32.
inline std::int32_t PositionAt(std::uint32_t start, std::uint32_t step, std::uint32_t steps) {
  return static_cast<std::int32_t>(start + steps * step);
}

// One destination row's view of the source: the upper and lower source rows
// and the vertical weights.
struct ScaleRow {
  const Byte* upper;
  const Byte* lower;
  std::int32_t lastColumn;  // source width - 1
  float wy, wyc;
  const float* fractions;
};

// The horizontal interpolation of one source row at (ix, ix1) with weights
// (wxc, wx), evaluated in double and stored as single.
inline float LerpSourceRow(const Byte* row, std::int32_t ix, std::int32_t ix1, float wxc,
                           float wx) {
  return ToSingle(static_cast<double>(LoadF32(row + ElementOffset(ix, 4))) * wxc +
                  static_cast<double>(LoadF32(row + ElementOffset(ix1, 4))) * wx);
}

// The bilinear sample at fixed-point column position u.
inline float BilinearSample(const ScaleRow& row, std::int32_t u) {
  const SourceIndex sx = SplitPosition(u, row.lastColumn);
  const std::int32_t ix1 = sx.index < row.lastColumn ? sx.index + 1 : row.lastColumn;
  const float wx = row.fractions[sx.fraction];
  const float wxc = ToSingle(1.0 - static_cast<double>(wx));
  const float top = LerpSourceRow(row.upper, sx.index, ix1, wxc, wx);
  const float bottom = LerpSourceRow(row.lower, sx.index, ix1, wxc, wx);
  return ToSingle(static_cast<double>(top) * row.wyc + static_cast<double>(bottom) * row.wy);
}

// How samples meet the destination.
struct ScaleCombine {
  ScaleMaskMode mode;
  float amount;
  float keep;  // 1 - amount as single, for the blend
};

inline float CombineSample(const ScaleCombine& c, float s, float d) {
  switch (c.mode) {
    case kScaleBlend:
      return ToSingle(static_cast<double>(s) * c.amount + static_cast<double>(c.keep) * d);
    case kScaleMultiply:
      return ToSingle(static_cast<double>(s) * d);
    default:
      return s;
  }
}

// One destination row: element k (k = 0 .. count-1) samples at position
// uStart + k * du and is combined with dst[k] (unaligned row).
using ScaleRowFn = void (*)(Byte* dst, std::int32_t count, const ScaleRow& row,
                            std::uint32_t uStart, std::uint32_t du, const ScaleCombine& combine);
void ScaleMaskRowScalar(Byte* dst, std::int32_t count, const ScaleRow& row, std::uint32_t uStart,
                        std::uint32_t du, const ScaleCombine& combine);
void ScaleMaskRowSse2(Byte* dst, std::int32_t count, const ScaleRow& row, std::uint32_t uStart,
                      std::uint32_t du, const ScaleCombine& combine);
void ScaleMaskRowAvx2(Byte* dst, std::int32_t count, const ScaleRow& row, std::uint32_t uStart,
                      std::uint32_t du, const ScaleCombine& combine);
ScaleRowFn ChooseScaleMaskRow(std::uint32_t cpuFlags);

// A plane with its size.
template <class B>
struct SizedPlane {
  B* pixels;
  std::int32_t stride;
  std::int32_t width;
  std::int32_t height;
};

// The whole operation; false when the clipped extent is refused.
bool ScaleMaskPlanes(SizedPlane<Byte> dst, const FloatRect& dstRect, SizedPlane<const Byte> src,
                     const FloatRect& srcRect, std::int32_t mode, float amount);

}  // namespace morvex::mask
