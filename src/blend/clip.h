// ClipRestore / FocusPrep: on a float ARGB image, every colour value above a
// clip level is replaced by the pixel's alpha, or by a minimum level when
// that is higher. Alpha is never changed.
#pragma once

#include <cstdint>

#include "blend/lanes.h"
#include "frame/plane.h"

namespace morvex::blend {

// The two levels, each level * 255 formed in double and rounded to single in
// the current rounding mode.
struct ClipLevels {
  float clip;        // T
  float restoreMin;  // F
};
ClipLevels ClipLevelsFor(double clipLevel, double restoreMin);

// V = F if A < F, else A (so a NaN alpha or F gives A); each colour c > T
// (false for NaN) becomes V. Comparisons are in single precision.
MORVEX_PIXEL_INLINE void ClipPixel(Byte* pixel, float clip, float restoreMin) {
  const float a = LoadF32(pixel + 12);
  const float v = a < restoreMin ? restoreMin : a;
  for (int c = 0; c < 3; ++c)
    if (LoadF32(pixel + 4 * c) > clip) StoreF32(pixel + 4 * c, v);
}

using ClipRowFn = void (*)(Byte* dst, std::int32_t width, float clip, float restoreMin);

extern const ClipRowFn kClipRowScalar;
extern const ClipRowFn kClipRowSse2;
extern const ClipRowFn kClipRowAvx2;

void ClipRestoreImage(Rows dst, std::int32_t width, std::int32_t height, double clipLevel,
                      double restoreMin);

}  // namespace morvex::blend
