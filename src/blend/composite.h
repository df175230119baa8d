// Composite: a source ARGB image laid over the destination in place with one
// of six blend modes, then mixed with the destination by an opacity byte.
// All arithmetic is on the stored (premultiplied) bytes.
#pragma once

#include <cstdint>

#include "blend/lanes.h"
#include "frame/dispatch.h"
#include "frame/plane.h"

namespace morvex::blend {

enum CompositeMode : std::int32_t {
  ModeNormal = 1,
  ModeAdd = 3,
  ModeMultiply = 4,
  ModeOverlay = 5,
  ModeScreen = 6,
  ModeAverage = 7,
};

// ---- Per-pixel definitions ----

// Premultiplied source-over with +127 rounding. Only a colour above its alpha
// (input that is not premultiplied) can give more than 255; such a value
// saturates to 255.
MORVEX_INLINE int NormalX(int s, int d, int sa) {
  const int x = (255 * s + (255 - sa) * d + 127) / 255;
  return x > 255 ? 255 : x;
}
// The alpha of ModeAdd, ModeOverlay and ModeScreen (ModeNormal's alpha).
MORVEX_INLINE int AlphaUnion(int sa, int da) {
  return ((255 - sa) * da + 255 * sa + 127) / 255;
}
MORVEX_INLINE int AddX(int s, int d) { return s + d < 255 ? s + d : 255; }
MORVEX_INLINE int MultiplyX(int s, int d) { return s * d / 255; }
// The branch follows the destination byte; the quotient truncates before
// the subtraction.
MORVEX_INLINE int OverlayX(int s, int d) {
  return d < 128 ? 2 * d * s / 255 : 255 - (2 * (255 - d) * (255 - s) / 255);
}
MORVEX_INLINE int ScreenX(int s, int d) { return 255 - ((255 - s) * (255 - d) / 255); }
MORVEX_INLINE int AverageX(int s, int d) { return (s + d) / 2; }

// The mode's value for the four channels B, G, R, A of one pixel, from the
// bytes before any write.
template <CompositeMode kMode>
MORVEX_INLINE void CompositeX(const Byte* dst, const Byte* src, int x[4]) {
  const int sa = src[kAlpha], da = dst[kAlpha];
  for (int c = kBlue; c <= kRed; ++c) {
    const int s = src[c], d = dst[c];
    if constexpr (kMode == ModeNormal) x[c] = NormalX(s, d, sa);
    if constexpr (kMode == ModeAdd) x[c] = AddX(s, d);
    if constexpr (kMode == ModeMultiply) x[c] = MultiplyX(s, d);
    if constexpr (kMode == ModeOverlay) x[c] = OverlayX(s, d);
    if constexpr (kMode == ModeScreen) x[c] = ScreenX(s, d);
    if constexpr (kMode == ModeAverage) x[c] = AverageX(s, d);
  }
  if constexpr (kMode == ModeNormal) x[kAlpha] = NormalX(sa, da, sa);
  if constexpr (kMode == ModeMultiply) x[kAlpha] = MultiplyX(sa, da);
  if constexpr (kMode == ModeAverage) x[kAlpha] = AverageX(sa, da);
  if constexpr (kMode == ModeAdd || kMode == ModeOverlay || kMode == ModeScreen)
    x[kAlpha] = AlphaUnion(sa, da);
}

// (x * o + d * (255 - o)) / 255: o = 255 gives x, o = 0 gives d.
MORVEX_INLINE int OpacityMix(int x, int d, int o) { return (x * o + d * (255 - o)) / 255; }

template <CompositeMode kMode>
MORVEX_INLINE void CompositePixelOpaque(Byte* dst, const Byte* src) {
  int x[4];
  CompositeX<kMode>(dst, src, x);
  for (int c = 0; c < 4; ++c) dst[c] = static_cast<Byte>(x[c]);
}

template <CompositeMode kMode>
MORVEX_INLINE void CompositePixelMix(Byte* dst, const Byte* src, int o) {
  int x[4];
  CompositeX<kMode>(dst, src, x);
  for (int c = 0; c < 4; ++c) dst[c] = static_cast<Byte>(OpacityMix(x[c], dst[c], o));
}

// trunc(opacity * 255 + 0.5) clamped to 0..255. Beyond the signed 32-bit
// range the truncation gives INT32_MIN; a value that large and positive is
// taken as 255 rather than 0, and NaN as 0.
std::uint8_t OpacityByte(double opacity);

// ---- Row kernels ----

// One row of `width` pixels with opacity byte o. Each routine has a loop for
// o = 255 (no final mix) and a general loop; both give the same bytes.
using CompositeRowFn = void (*)(Byte* dst, const Byte* src, std::int32_t width, std::uint8_t o);

// The row routine of each valid CompositeMode (indexed by its value; the
// other entries are null), per instruction set.
struct CompositeKernels {
  CompositeRowFn row[ModeAverage + 1];
};

extern const CompositeKernels kCompositeKernelsScalar;
extern const CompositeKernels kCompositeKernelsSse2;
extern const CompositeKernels kCompositeKernelsAvx2;
extern const CompositeKernels kCompositeKernelsAvx512;
extern const KernelTable<CompositeKernels> kCompositeKernelTable;

// The six row routines of one instruction set: Row<kMode> for each mode.
template <template <CompositeMode> class Row>
constexpr CompositeKernels MakeCompositeKernels() {
  CompositeKernels k{};
  k.row[ModeNormal] = &Row<ModeNormal>::Run;
  k.row[ModeAdd] = &Row<ModeAdd>::Run;
  k.row[ModeMultiply] = &Row<ModeMultiply>::Run;
  k.row[ModeOverlay] = &Row<ModeOverlay>::Run;
  k.row[ModeScreen] = &Row<ModeScreen>::Run;
  k.row[ModeAverage] = &Row<ModeAverage>::Run;
  return k;
}

bool IsCompositeMode(std::int32_t mode);

// ---- Whole-image routine ----

// Returns false (nothing written) for a mode outside the six.
bool CompositeImages(Rows dst, ConstRows src, std::int32_t width, std::int32_t height,
                     std::int32_t mode, double opacity);

}  // namespace morvex::blend
