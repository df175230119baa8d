// Histogram: counts of the red, green and blue bytes and of the luminance.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/dispatch.h"
#include "frame/plane.h"
#include "tone/luminance.h"

namespace morvex::tone {

// Count arrays in the order the caller passes them.
enum HistogramArray : int {
  kRedCounts = 0,
  kGreenCounts,
  kBlueCounts,
  kLumaCounts,
  kHistogramArrays
};

inline constexpr int kHistogramValues = 256;
// Neighbouring pixels count into different copies (pixel i of a chunk into
// copy i % 8), so a run of equal values does not serialise on one counter.
// The copies hold 16-bit counters (16 KiB together, well inside L1); they are
// added into 32-bit totals before any of them can overflow.
inline constexpr int kHistogramCopies = 8;
inline constexpr std::uint32_t kHistogramFlushPixels = 65535;
// Pixels a kernel counts per chunk (a multiple of every vector's pixels).
inline constexpr std::int32_t kHistogramChunk = 256;

using HistogramSet = std::uint16_t[kHistogramArrays][kHistogramValues];

struct HistogramCounters {
  HistogramSet copies[kHistogramCopies];
  // Totals are unsigned: they wrap (defined) on regions of more than 2^32
  // pixels instead of overflowing.
  std::uint32_t totals[kHistogramArrays][kHistogramValues];
  std::uint32_t pending;  // pixels counted into the copies since the last flush
};

// Adds the copies into the totals and clears them.
void FlushHistogramCopies(HistogramCounters& counters);

// Makes room in the copies for `n` (at most a chunk) more pixels: no counter
// can receive more increments than there are pending pixels.
MORVEX_INLINE void ReserveCounts(HistogramCounters& counters, std::int32_t n) {
  if (counters.pending + static_cast<std::uint32_t>(n) > kHistogramFlushPixels)
    FlushHistogramCopies(counters);
  counters.pending += static_cast<std::uint32_t>(n);
}

// Counts one pixel into `set`: its red, green and blue bytes and its
// luminance. Alpha is not counted.
MORVEX_INLINE void CountPixel(HistogramSet& set, const Byte* pixel) {
  ++set[kRedCounts][pixel[kRed]];
  ++set[kGreenCounts][pixel[kGreen]];
  ++set[kBlueCounts][pixel[kBlue]];
  ++set[kLumaCounts][Luminance(pixel)];
}

// Counts one pixel whose luminance has already replaced its alpha byte. Each
// counter's index is a byte load: no shifts or masks between the loads and
// the increments.
MORVEX_INLINE void CountPacked(HistogramSet& set, const Byte* packed) {
  ++set[kBlueCounts][packed[0]];
  ++set[kGreenCounts][packed[1]];
  ++set[kRedCounts][packed[2]];
  ++set[kLumaCounts][packed[3]];
}

// Counts `count` packed pixels, pixel i into copy i % 8.
MORVEX_INLINE void CountPackedRun(HistogramCounters& counters, const Byte* packed,
                                  std::int32_t count) {
  static_assert(kHistogramCopies == 8);
  std::int32_t i = 0;
  for (; i + 8 <= count; i += 8, packed += 32)
    for (int k = 0; k < 8; ++k) CountPacked(counters.copies[k], packed + 4 * k);
  for (; i < count; ++i, packed += 4) CountPacked(counters.copies[i % 8], packed);
}

// Row kernel: adds the `width` (> 0) pixels starting at `row` to the counters.
using HistogramRowFn = void (*)(const Byte* row, std::int32_t width, HistogramCounters& counters);

struct HistogramKernels {
  HistogramRowFn row;
};

extern const HistogramKernels kHistogramKernelsScalar;
extern const HistogramKernels kHistogramKernelsSse2;
extern const HistogramKernels kHistogramKernelsAvx2;
extern const HistogramKernels kHistogramKernelsAvx512;
extern const KernelTable<HistogramKernels> kHistogramKernelTable;

// Clears the four caller arrays (256 int32 counters each, no alignment
// promise), counts the region into them and returns the largest counter
// (0 when nothing was counted). The arrays are cleared on every call, even
// for an empty region.
std::int32_t Histogram(ConstRows image, std::int32_t width, std::int32_t height, Byte* redCounts,
                       Byte* greenCounts, Byte* blueCounts, Byte* lumaCounts);

}  // namespace morvex::tone
