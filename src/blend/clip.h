// ClipRestore / FocusPrep: on a float ARGB image, every colour value above a
// clip level is replaced by the pixel's alpha, or by a minimum level when
// that is higher. Alpha is never changed.
#pragma once

#include <cstdint>
#include <cstring>

#include "blend/lanes.h"
#include "frame/dispatch.h"
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
// (false for NaN) becomes V. Comparisons are in single precision. V is chosen
// as bits, never as a float maximum: under a host's denormals-are-zero mode a
// maximum would turn a denormal alpha into zero instead of copying it.
MORVEX_INLINE void ClipPixel(Byte* pixel, float clip, float restoreMin) {
  const bool raise = LoadF32(pixel + 12) < restoreMin;
  std::uint32_t minBits;
  std::memcpy(&minBits, &restoreMin, sizeof minBits);
  const std::uint32_t v = raise ? minBits : LoadU32(pixel + 12);
  for (int c = 0; c < 3; ++c)
    if (LoadF32(pixel + 4 * c) > clip) StoreU32(pixel + 4 * c, v);
}

using ClipRowFn = void (*)(Byte* dst, std::int32_t width, float clip, float restoreMin);

struct ClipKernels {
  ClipRowFn row;
};

extern const ClipKernels kClipKernelsScalar;
extern const ClipKernels kClipKernelsSse2;
extern const ClipKernels kClipKernelsAvx2;
extern const ClipKernels kClipKernelsAvx512;
extern const KernelTable<ClipKernels> kClipKernelTable;

void ClipRestoreImage(Rows dst, std::int32_t width, std::int32_t height, double clipLevel,
                      double restoreMin);

}  // namespace morvex::blend
