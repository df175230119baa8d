// Local and radial filters at 4096x4096 against a same-run memcpy of a plane
// of the same element size, on each path of the filter's kernel table
// (argument "isa": 0 scalar, 1 sse2, 2 avx2, 3 avx512; a path the machine
// lacks is skipped).
#include <cmath>

#include "bench_util.h"
#include "filters/blur3x3.h"
#include "filters/edge_detect.h"
#include "filters/radial_blur.h"
#include "frame/cpu_features.h"
#include "frame/dispatch.h"
#include "frame/fpu.h"
#include "morvex/native.h"

namespace morvex::bench {
namespace {

constexpr int kSide = 4096;
constexpr std::int64_t kPixels = std::int64_t{kSide} * kSide;

// Pins the processor flags to one instruction-set level for a scope; false
// when the machine lacks that level.
class PinnedLevel {
 public:
  explicit PinnedLevel(std::int64_t level) : set_(static_cast<InstructionSet>(level)) {
    SetCpuFeatureFlagsForTest(FeaturesUpTo(set_, ProbedCpuFeatureFlags()));
  }
  ~PinnedLevel() { RestoreCpuFeatureFlagsForTest(); }
  bool Runs(benchmark::State& state, const KernelTableBase& table) const {
    if (!HasCpu(ProbedCpuFeatureFlags(), RequiredFeatures(set_))) {
      state.SkipWithError("this processor lacks the path");
      return false;
    }
    state.SetLabel(InstructionSetName(table.Chosen(CpuFeatureFlags())));
    return true;
  }

 private:
  InstructionSet set_;
};

void BM_Blur3x3(benchmark::State& state) {
  const PinnedLevel level(state.range(0));
  if (!level.Runs(state, filters::kBlur3x3KernelTable)) return;
  const std::size_t bytes = std::size_t{kSide} * kSide * 4;
  auto src = PatternBytes(bytes), dst = PatternBytes(bytes, 2);
  RunAgainstMemcpy(state, kPixels, bytes,
                   [&] { Blur3x3(dst.data(), kSide * 4, src.data(), kSide * 4, kSide, kSide); });
}
BENCHMARK(BM_Blur3x3)
    ->ArgName("isa")
    ->DenseRange(0, 3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Arguments: 1 for gray output, 0 for per-channel output; the path.
void BM_EdgeDetect(benchmark::State& state) {
  const PinnedLevel level(state.range(1));
  if (!level.Runs(state, filters::kEdgeKernelTable)) return;
  const std::size_t bytes = std::size_t{kSide} * kSide * 4;
  auto src = PatternBytes(bytes), dst = PatternBytes(bytes, 2);
  const auto single = static_cast<std::uint32_t>(state.range(0));
  RunAgainstMemcpy(state, kPixels, bytes, [&] {
    EdgeDetect(dst.data(), kSide * 4, src.data(), kSide * 4, kSide, kSide, single, 0.25);
  });
}
BENCHMARK(BM_EdgeDetect)
    ->ArgNames({"single", "isa"})
    ->ArgsProduct({{1, 0}, {0, 1, 2, 3}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The samples a RadialBlurMask call takes, counted with the library's own
// displacement and count (inside the same bracket).
double RadialSampleTotal(int width, int height, double cx, double cy, double scale) {
  const RoundTowardZeroBracket bracket;
  double total = 0;
  for (int y = 0; y < height; ++y) {
    const double dy = filters::RadialDisplacement(y, cy, 1.0 / scale);
    for (int x = 0; x < width; ++x) {
      const double dx = filters::RadialDisplacement(x, cx, 1.0 / scale);
      const double m = std::fmax(std::fabs(dx), std::fabs(dy));
      if (m > 0) total += filters::RadialSampleCount(m, width, height).count;
    }
  }
  return total;
}

// Arguments: scale in thousandths, centre in the middle (the sample count per
// element grows with the distance from the centre times 1 - 1/scale); the
// path. Reports ns per sample besides the ratio to a memcpy of the plane.
void BM_RadialBlurMask(benchmark::State& state) {
  const PinnedLevel level(state.range(1));
  if (!level.Runs(state, filters::kRadialKernelTable)) return;
  const std::size_t bytes = std::size_t{kSide} * kSide;
  auto src = PatternBytes(bytes), dst = PatternBytes(bytes, 2);
  const double scale = static_cast<double>(state.range(0)) / 1000.0, centre = kSide / 2.0;
  RunAgainstMemcpy(state, kPixels, bytes, [&] {
    RadialBlurMask(dst.data(), kSide, 1, src.data(), kSide, 1, kSide, kSide, centre, centre,
                   scale, scale, 1.0);
  });
  const double secondsPerCall = static_cast<double>(kPixels) * 1e-6 / state.counters["MPix/s"];
  state.counters["ns_per_sample"] =
      secondsPerCall * 1e9 / RadialSampleTotal(kSide, kSide, centre, centre, scale);
}
BENCHMARK(BM_RadialBlurMask)
    ->ArgNames({"scale", "isa"})
    ->ArgsProduct({{1020, 1100}, {0, 1, 2, 3, 4}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
}  // namespace morvex::bench
