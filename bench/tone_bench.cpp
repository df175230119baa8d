// Tone adjustments against a same-run memcpy of the image plane; each row
// also gives the scalar kernels' figure (scalar_x_memcpy).
#include "bench_util.h"
#include "morvex/native.h"

namespace morvex::bench {
namespace {

void BM_Desaturate(benchmark::State& state) {
  const auto side = static_cast<int>(state.range(0));
  const std::size_t bytes = std::size_t{4} * side * side;
  auto image = PatternBytes(bytes);
  RunWithScalarColumn(state, std::int64_t{side} * side, bytes,
                      [&] { Desaturate(image.data(), side * 4, side, side, 0); });
}
BENCHMARK(BM_Desaturate)->Arg(512)->Arg(4096)->UseManualTime()->Unit(benchmark::kMillisecond);

// Args: side, smooth (0: random pixels; 1: a smooth image whose neighbours
// often repeat values).
void BM_Histogram(benchmark::State& state) {
  const auto side = static_cast<int>(state.range(0));
  const bool smooth = state.range(1) != 0;
  const std::size_t bytes = std::size_t{4} * side * side;
  auto image = PatternBytes(bytes);
  if (smooth)
    for (std::size_t i = 0; i < bytes; ++i)
      image[i] =
          static_cast<std::uint8_t>((i / 4 / static_cast<std::size_t>(side) + i / 64) & 0xFF);
  std::int32_t counts[4][256];
  RunWithScalarColumn(state, std::int64_t{side} * side, bytes, [&] {
    benchmark::DoNotOptimize(
        Histogram(image.data(), side * 4, side, side, counts[0], counts[1], counts[2], counts[3]));
  });
}
BENCHMARK(BM_Histogram)
    ->ArgNames({"side", "smooth"})
    ->Args({512, 0})
    ->Args({4096, 0})
    ->Args({4096, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Args: side, parameters (0: scales 1, 1.05, 0.98, offsets 0.01, 0, 0.01;
// 1: hue offset 0.1, scales 1.1, other offsets 0.05).
void BM_HslScaleOffset(benchmark::State& state) {
  const auto side = static_cast<int>(state.range(0));
  const std::size_t bytes = std::size_t{4} * side * side;
  static const double kParameters[2][6] = {{1.0, 1.05, 0.98, 0.01, 0.0, 0.01},
                                           {1.1, 1.1, 1.1, 0.1, 0.05, 0.05}};
  const double* p = kParameters[state.range(1)];
  auto image = PatternBytes(bytes);
  RunWithScalarColumn(state, std::int64_t{side} * side, bytes, [&] {
    HslScaleOffset(image.data(), side * 4, side, side, p[0], p[1], p[2], p[3], p[4], p[5]);
  });
}
BENCHMARK(BM_HslScaleOffset)
    ->ArgNames({"side", "case"})
    ->Args({512, 0})
    ->Args({4096, 0})
    ->Args({4096, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace morvex::bench
