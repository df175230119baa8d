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
// Neighbouring pixels count into alternate copies, so a run of equal values
// does not serialise on one counter; the copies are summed at the end.
inline constexpr int kHistogramCopies = 2;

// One set of counters per array. Counts are unsigned: they wrap (defined) on
// regions of more than 2^32 pixels instead of overflowing.
using HistogramSet = std::uint32_t[kHistogramArrays][kHistogramValues];

struct HistogramCounters {
  HistogramSet copies[kHistogramCopies];
};

// Counts one pixel into `set`: its red, green and blue bytes and its
// luminance. Alpha is not counted.
MORVEX_INLINE void CountPixel(HistogramSet& set, const Byte* pixel) {
  ++set[kRedCounts][pixel[kRed]];
  ++set[kGreenCounts][pixel[kGreen]];
  ++set[kBlueCounts][pixel[kBlue]];
  ++set[kLumaCounts][Luminance(pixel)];
}

// Counts one packed word: blue, green, red and luminance from the low byte up.
MORVEX_INLINE void CountWord(HistogramSet& set, std::uint32_t w) {
  ++set[kBlueCounts][w & 0xFFu];
  ++set[kGreenCounts][(w >> 8) & 0xFFu];
  ++set[kRedCounts][(w >> 16) & 0xFFu];
  ++set[kLumaCounts][w >> 24];
}

// Counts pixels whose luminance has already replaced their alpha byte,
// alternating copies.
MORVEX_INLINE void CountPacked(HistogramCounters& counters, const std::uint32_t* words,
                               std::size_t count) {
  static_assert(kHistogramCopies == 2);
  std::size_t i = 0;
  for (; i + 2 <= count; i += 2) {
    CountWord(counters.copies[0], words[i]);
    CountWord(counters.copies[1], words[i + 1]);
  }
  if (i < count) CountWord(counters.copies[0], words[i]);
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
