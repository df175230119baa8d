// Bilinear scaling of a float-mask rectangle onto another, with 2048 steps
// per source pixel in 32-bit fixed point, combined with the destination by
// replacing, blending or multiplying.
#pragma once

#include <cstdint>
#include <type_traits>

#include "frame/compiler.h"
#include "frame/convert.h"
#include "frame/dispatch.h"
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
MORVEX_INLINE ScaleMaskMode NormalizeScaleMode(std::int32_t mode) {
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
MORVEX_INLINE SourceIndex SplitPosition(std::int32_t position, std::int32_t last) {
  if (position < 0) return {0, 0};
  const std::int32_t index = position >> kFractionBits;
  return {index < last ? index : last, position & kFractionMask};
}

// The running position after `steps` steps, wrapping modulo 2^32.
MORVEX_INLINE std::int32_t PositionAt(std::uint32_t start, std::uint32_t step, std::uint32_t steps) {
  return static_cast<std::int32_t>(start + steps * step);
}

// The right (or lower) neighbour of index ix, limited to last.
MORVEX_INLINE std::int32_t NextIndex(std::int32_t ix, std::int32_t last) {
  return ix < last ? ix + 1 : last;
}

// (row[ix] * wxc + row[ix1] * wx) in double, stored as single, with
// wxc = 1 - wx as single.
MORVEX_INLINE float InterpolateColumns(const Byte* row, std::int32_t ix, std::int32_t ix1,
                                       float wx) {
  const float wxc = ToSingle(1.0 - static_cast<double>(wx));
  return ToSingle(static_cast<double>(LoadF32(row + ElementOffset(ix, 4))) * wxc +
                  static_cast<double>(LoadF32(row + ElementOffset(ix1, 4))) * wx);
}

// The horizontal interpolation of one source row at fixed-point column
// position u.
MORVEX_INLINE float HorizontalSample(const Byte* row, std::int32_t last, std::int32_t u,
                                     const float* fractions) {
  const SourceIndex sx = SplitPosition(u, last);
  return InterpolateColumns(row, sx.index, NextIndex(sx.index, last), fractions[sx.fraction]);
}

// The sample from the horizontal interpolations of the upper and lower
// source rows: (top * wyc + bottom * wy) in double, stored as single.
MORVEX_INLINE float VerticalSample(float top, float bottom, float wy, float wyc) {
  return ToSingle(static_cast<double>(top) * wyc + static_cast<double>(bottom) * wy);
}

// How samples meet the destination.
struct ScaleCombine {
  ScaleMaskMode mode;
  float amount;
  float keep;  // 1 - amount as single, for the blend
  // Replacing samples of a large destination may bypass the cache (the
  // routine then fences the stores before it returns).
  bool stream;
};

MORVEX_INLINE float CombineSample(const ScaleCombine& c, float s, float d) {
  switch (c.mode) {
    case kScaleBlend:
      return ToSingle(static_cast<double>(s) * c.amount + static_cast<double>(c.keep) * d);
    case kScaleMultiply:
      return ToSingle(static_cast<double>(s) * d);
    default:
      return s;
  }
}

// Calls fn with the combination mode as a compile-time constant, so that
// vector kernels specialise their loops per mode.
template <class Fn>
MORVEX_INLINE void WithScaleMode(ScaleMaskMode mode, Fn&& fn) {
  switch (mode) {
    case kScaleBlend:
      return fn(std::integral_constant<ScaleMaskMode, kScaleBlend>{});
    case kScaleMultiply:
      return fn(std::integral_constant<ScaleMaskMode, kScaleMultiply>{});
    default:
      return fn(std::integral_constant<ScaleMaskMode, kScaleReplace>{});
  }
}

// Destination columns walked at once: the plan below and two rows of held
// interpolations take 69 KB of stack. Wider destinations are walked in runs
// (narrower runs cost more: the destination rows are then walked in pieces
// that the hardware prefetching follows less well).
inline constexpr std::int32_t kScaleRun = 4096;

// The horizontal sampling of a run of destination columns, worked out once
// per call. Column k samples source columns index[k] and NextIndex(index[k],
// last) with the weight weight[k] of the second (the fraction table's
// entry). The vector kernels take the columns in groups of groupColumns;
// group g reads its source values from the window of vectors[g] vectors (1
// or 2) starting at source column window[g], which holds every index of the
// group and, one further on, every neighbour unclamped; vectors[g] = 0 when
// the group takes its values one by one.
struct ScaleColumns {
  std::int32_t count;
  std::int32_t last;
  std::int32_t groupColumns;
  alignas(64) std::int32_t index[kScaleRun];
  alignas(64) float weight[kScaleRun];
  std::int32_t window[kScaleRun / 4];
  std::uint8_t vectors[kScaleRun / 4];
};

// Plans `count` (1 .. kScaleRun) columns from position uStart on, du apart
// (modulo 2^32), over a source row whose last column is `last`.
void PlanScaleColumns(ScaleColumns& plan, std::int32_t count, std::int32_t last,
                      std::uint32_t uStart, std::uint32_t du, std::int32_t groupColumns,
                      const float* fractions);

// A horizontal interpolation does not depend on the destination row that
// uses it, so each source row's interpolations are computed once for the
// run of destination rows that share it, then combined vertically.
//
// out[k] = InterpolateColumns(row, index[k], NextIndex(index[k], last),
// weight[k]) for the plan's columns k (out is the routine's own aligned
// scratch), which is HorizontalSample at the column's position.
using ScaleSourceRowFn = void (*)(float* out, const Byte* row, const ScaleColumns& plan);
void ScaleSourceRowScalar(float* out, const Byte* row, const ScaleColumns& plan);
// From column `first` of the plan to its end.
void ScaleSourceColumnsScalar(float* out, const Byte* row, const ScaleColumns& plan,
                              std::int32_t first);

// dst[k] = CombineSample(VerticalSample(top[k], bottom[k], wy, wyc), dst[k])
// for k = 0 .. count-1 (dst an unaligned host row).
using ScaleCombineRowFn = void (*)(Byte* dst, std::int32_t count, const float* top,
                                   const float* bottom, float wy, float wyc,
                                   const ScaleCombine& combine);
void ScaleCombineRowScalar(Byte* dst, std::int32_t count, const float* top, const float* bottom,
                           float wy, float wyc, const ScaleCombine& combine);

struct ScaleKernels {
  std::int32_t groupColumns;  // of sourceRow's plan (1 for the scalar kernel)
  ScaleSourceRowFn sourceRow;
  ScaleCombineRowFn combineRow;
};
extern const ScaleKernels kScaleKernelsScalar;
extern const ScaleKernels kScaleKernelsSse2;
extern const ScaleKernels kScaleKernelsAvx2;
extern const ScaleKernels kScaleKernelsAvx512;
extern const KernelTable<ScaleKernels> kScaleKernelTable;

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
