#include "tone/histogram.h"

#include <cstring>

namespace morvex::tone {
namespace {

void HistogramRowScalar(const Byte* row, std::int32_t width, HistogramCounters& counters) {
  for (std::int32_t x = 0; x < width;) {
    const std::int32_t n = width - x < kHistogramChunk ? width - x : kHistogramChunk;
    ReserveCounts(counters, n);
    std::int32_t i = 0;
    for (; i + kHistogramCopies <= n; i += kHistogramCopies)
      for (int k = 0; k < kHistogramCopies; ++k, row += kArgbImageBytes)
        CountPixel(counters.copies[k], row);
    for (; i < n; ++i, row += kArgbImageBytes) CountPixel(counters.copies[i % kHistogramCopies], row);
    x += n;
  }
}

}  // namespace

void FlushHistogramCopies(HistogramCounters& counters) {
  for (int a = 0; a < kHistogramArrays; ++a)
    for (int v = 0; v < kHistogramValues; ++v) {
      std::uint32_t sum = 0;
      for (HistogramSet& copy : counters.copies) sum += copy[a][v];
      counters.totals[a][v] += sum;
    }
  std::memset(counters.copies, 0, sizeof counters.copies);
  counters.pending = 0;
}

const HistogramKernels kHistogramKernelsScalar = {&HistogramRowScalar};
constinit const KernelTable<HistogramKernels> kHistogramKernelTable(
    "histogram", &kHistogramKernelsScalar, &kHistogramKernelsSse2, &kHistogramKernelsAvx2,
    &kHistogramKernelsAvx512);

std::int32_t Histogram(ConstRows image, std::int32_t width, std::int32_t height, Byte* redCounts,
                       Byte* greenCounts, Byte* blueCounts, Byte* lumaCounts) {
  constexpr std::size_t kArrayBytes = kHistogramValues * sizeof(std::int32_t);
  Byte* const arrays[kHistogramArrays] = {redCounts, greenCounts, blueCounts, lumaCounts};
  for (Byte* array : arrays) std::memset(array, 0, kArrayBytes);

  HistogramCounters counters;
  std::memset(&counters, 0, sizeof counters);
  if (width > 0) {  // a row without pixels counts nothing
    const HistogramRowFn row = kHistogramKernelTable.For(CpuFeatureFlags()).row;
    for (std::int32_t y = 0; y < height; ++y) {
      row(image.row, width, counters);
      image.Next();
    }
  }

  FlushHistogramCopies(counters);
  // Each count is added to what its slot holds rather than stored over it:
  // arrays that share memory then hold the sum of their counts, exactly as
  // if every pixel had been added to them one by one.
  for (int a = 0; a < kHistogramArrays; ++a) {
    for (int v = 0; v < kHistogramValues; ++v) {
      Byte* const slot = arrays[a] + v * sizeof(std::int32_t);
      StoreI32(slot, static_cast<std::int32_t>(static_cast<std::uint32_t>(LoadI32(slot)) +
                                               counters.totals[a][v]));
    }
  }
  std::int32_t peak = 0;
  for (const Byte* array : arrays)
    for (int v = 0; v < kHistogramValues; ++v) {
      const std::int32_t n = LoadI32(array + v * sizeof(std::int32_t));
      if (n > peak) peak = n;
    }
  return peak;
}

}  // namespace morvex::tone
