// The vector row kernel of Histogram, written once over frame/simd and
// instantiated per instruction set.
#pragma once

#include "tone/histogram.h"

namespace morvex::tone {

// A chunk of pixels at a time: each vector of pixels is packed (luminance in
// place of alpha) into a buffer in L1, then the chunk is counted. Pixels after
// the last whole vector are counted one by one.
template <class I>
void HistogramRow(const Byte* row, std::int32_t width, HistogramCounters& counters) {
  using V = typename I::V;
  constexpr std::int32_t kGroup = I::kBytes / kArgbImageBytes;
  constexpr std::int32_t kChunk = kHistogramChunk;
  static_assert(kChunk % kGroup == 0);
  alignas(64) Byte packed[kChunk * kArgbImageBytes];
  const std::int32_t whole = width / kGroup * kGroup;
  for (std::int32_t x = 0; x < whole;) {
    const std::int32_t n = whole - x < kChunk ? whole - x : kChunk;
    ReserveCounts(counters, n);
    for (std::int32_t i = 0; i < n; i += kGroup, row += kGroup * kArgbImageBytes) {
      const V p = I::Load(row);
      I::Store(packed + 4 * i, I::Or(I::And(p, I::Set32(0x00FFFFFF)),
                                     I::template Slli32<24>(LuminanceLanes<I>(p))));
    }
    CountPackedRun(counters, packed, n);
    x += n;
  }
  ReserveCounts(counters, width - whole);
  for (std::int32_t x = whole; x < width; ++x, row += kArgbImageBytes)
    CountPixel(counters.copies[x % kHistogramCopies], row);
}

template <class I>
constexpr HistogramKernels MakeHistogramKernels() {
  return {&HistogramRow<I>};
}

}  // namespace morvex::tone
