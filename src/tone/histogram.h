// Histogram: counts of the red, green and blue bytes and of the luminance.
#pragma once

#include <cstddef>
#include <cstdint>

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

// Counts pixels whose luminance has already replaced their alpha byte
// (blue, green, red, luminance from the low byte up), alternating copies.
MORVEX_INLINE void CountPacked(HistogramCounters& counters, const std::uint32_t* words,
                                    std::size_t count) {
  static_assert(kHistogramCopies == 2);
  const auto countWord = [](HistogramSet& set, std::uint32_t w) {
    ++set[kBlueCounts][w & 0xFFu];
    ++set[kGreenCounts][(w >> 8) & 0xFFu];
    ++set[kRedCounts][(w >> 16) & 0xFFu];
    ++set[kLumaCounts][w >> 24];
  };
  std::size_t i = 0;
  for (; i + 2 <= count; i += 2) {
    countWord(counters.copies[0], words[i]);
    countWord(counters.copies[1], words[i + 1]);
  }
  if (i < count) countWord(counters.copies[0], words[i]);
}

// The vector kernels' row walk. `pack(pixels, words)` turns kGroup pixels
// into packed words as CountPacked takes them; a chunk of words is packed,
// then counted. Pixels after the last whole group are counted one by one.
template <std::size_t kGroup, class Pack>
MORVEX_INLINE void CountRowInGroups(const Byte* row, std::size_t width,
                                         HistogramCounters& counters, Pack pack) {
  constexpr std::size_t kChunk = 64;
  static_assert(kChunk % kGroup == 0);
  alignas(32) std::uint32_t words[kChunk];
  const std::size_t whole = width / kGroup * kGroup;
  for (std::size_t x = 0; x < whole;) {
    const std::size_t n = whole - x < kChunk ? whole - x : kChunk;
    for (std::size_t i = 0; i < n; i += kGroup, row += kGroup * kArgbImageBytes)
      pack(row, words + i);
    CountPacked(counters, words, n);
    x += n;
  }
  for (std::size_t x = whole; x < width; ++x, row += kArgbImageBytes)
    CountPixel(counters.copies[0], row);
}

// Row kernels: add the `width` pixels starting at `row` to the counters.
using HistogramRowKernel = void (*)(const Byte* row, std::size_t width,
                                    HistogramCounters& counters);
void HistogramRowScalar(const Byte* row, std::size_t width, HistogramCounters& counters);
void HistogramRowSse2(const Byte* row, std::size_t width, HistogramCounters& counters);
void HistogramRowAvx2(const Byte* row, std::size_t width, HistogramCounters& counters);

HistogramRowKernel ChooseHistogramRow(std::uint32_t cpuFlags);

// Clears the four caller arrays (256 int32 counters each, no alignment
// promise), counts the region into them and returns the largest counter
// (0 when nothing was counted). The arrays are cleared on every call, even
// for an empty region.
std::int32_t Histogram(ConstRows image, std::int32_t width, std::int32_t height, Byte* redCounts,
                       Byte* greenCounts, Byte* blueCounts, Byte* lumaCounts);

}  // namespace morvex::tone
