#include <emmintrin.h>

#include "tone/hsl.h"
#include "tone/hsl_lanes.h"
#include "tone/hsl_sse2_lanes.h"

namespace morvex::tone {

void HslScaleOffsetRowSse2(Byte* row, std::size_t width, const HslAdjustment& adj) {
  const std::size_t groups = width / Sse2Lanes::kPixels;
  HslLanes<Sse2Lanes>::Groups(row, groups, adj);
  row += groups * Sse2Lanes::kPixels * kArgbImageBytes;
  for (std::size_t x = groups * Sse2Lanes::kPixels; x < width; ++x, row += kArgbImageBytes)
    StoreU32(row, HslScaleOffsetPixel(LoadU32(row), adj));
}

}  // namespace morvex::tone
