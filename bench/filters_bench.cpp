// Local and radial filters at 4096x4096 against a same-run memcpy of a plane
// of the same element size.
#include "bench_util.h"
#include "morvex/native.h"

namespace morvex::bench {
namespace {

constexpr int kSide = 4096;
constexpr std::int64_t kPixels = std::int64_t{kSide} * kSide;

void BM_Blur3x3(benchmark::State& state) {
  const std::size_t bytes = std::size_t{kSide} * kSide * 4;
  auto src = PatternBytes(bytes), dst = PatternBytes(bytes, 2);
  RunAgainstMemcpy(state, kPixels, bytes,
                   [&] { Blur3x3(dst.data(), kSide * 4, src.data(), kSide * 4, kSide, kSide); });
}
BENCHMARK(BM_Blur3x3)->UseManualTime()->Unit(benchmark::kMillisecond);

// Argument: 1 for gray output, 0 for per-channel output.
void BM_EdgeDetect(benchmark::State& state) {
  const std::size_t bytes = std::size_t{kSide} * kSide * 4;
  auto src = PatternBytes(bytes), dst = PatternBytes(bytes, 2);
  const auto single = static_cast<std::uint32_t>(state.range(0));
  RunAgainstMemcpy(state, kPixels, bytes, [&] {
    EdgeDetect(dst.data(), kSide * 4, src.data(), kSide * 4, kSide, kSide, single, 0.25);
  });
}
BENCHMARK(BM_EdgeDetect)->Arg(1)->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond);

// Argument: scale in thousandths, centre in the middle; the sample count per
// element grows with the distance from the centre times (1 - 1/scale).
void BM_RadialBlurMask(benchmark::State& state) {
  const std::size_t bytes = std::size_t{kSide} * kSide;
  auto src = PatternBytes(bytes), dst = PatternBytes(bytes, 2);
  const double scale = static_cast<double>(state.range(0)) / 1000.0;
  RunAgainstMemcpy(state, kPixels, bytes, [&] {
    RadialBlurMask(dst.data(), kSide, 1, src.data(), kSide, 1, kSide, kSide, kSide / 2.0,
                   kSide / 2.0, scale, scale, 1.0);
  });
}
BENCHMARK(BM_RadialBlurMask)
    ->Arg(1010)
    ->Arg(1050)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

}  // namespace
}  // namespace morvex::bench
