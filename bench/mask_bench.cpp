// Mask generation and geometry at 4096x4096 (ScaleMask: 2048x2048 onto
// 4096x4096) against a same-run memcpy of a 4096x4096 plane.
#include <cmath>

#include "bench_util.h"
#include "frame/cpu_features.h"
#include "morvex/native.h"

namespace morvex::bench {
namespace {

// Pins the scalar path (flags 0) for a scope, or keeps the probed one.
class PathOf {
 public:
  explicit PathOf(std::int64_t scalar) {
    if (scalar != 0) SetCpuFeatureFlagsForTest(0);
  }
  ~PathOf() { RestoreCpuFeatureFlagsForTest(); }
  PathOf(const PathOf&) = delete;
  PathOf& operator=(const PathOf&) = delete;
};

constexpr int kSide = 4096;
constexpr std::size_t kPlaneBytes = std::size_t{kSide} * kSide * 4;
constexpr std::int64_t kPixels = std::int64_t{kSide} * kSide;

// A float plane of values in [0, 255].
std::vector<std::uint8_t> FloatPlane(std::size_t elements, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes = PatternBytes(elements * 4, seed);
  for (std::size_t i = 0; i < elements; ++i) {
    const float v = static_cast<float>(bytes[i * 4]);
    std::memcpy(&bytes[i * 4], &v, 4);
  }
  return bytes;
}

void BM_GenerateNoiseMask(benchmark::State& state) {
  std::vector<std::uint8_t> dst(kPlaneBytes);
  RunAgainstMemcpy(state, kPixels, kPlaneBytes, [&] {
    GenerateNoiseMask(reinterpret_cast<float*>(dst.data()), kSide * 4, kSide, kSide, 0.0f, 1.0f, 1);
  });
}
BENCHMARK(BM_GenerateNoiseMask)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_MultiplyMasks(benchmark::State& state) {
  auto dst = FloatPlane(std::size_t{kSide} * kSide, 1), src = FloatPlane(std::size_t{kSide} * kSide, 2);
  RunAgainstMemcpy(state, kPixels, kPlaneBytes, [&] {
    MultiplyMasks(reinterpret_cast<float*>(dst.data()), kSide * 4,
                  reinterpret_cast<const float*>(src.data()), kSide * 4, kSide, kSide);
  });
}
BENCHMARK(BM_MultiplyMasks)->UseManualTime()->Unit(benchmark::kMillisecond);

// Args: the combination mode, scalar path (0/1).
void BM_ScaleMask2048To4096(benchmark::State& state) {
  constexpr int kHalf = kSide / 2;
  auto src = FloatPlane(std::size_t{kHalf} * kHalf, 3), dst = FloatPlane(std::size_t{kSide} * kSide, 4);
  const int mode = static_cast<int>(state.range(0));
  const PathOf path(state.range(1));
  RunAgainstMemcpy(state, kPixels, kPlaneBytes, [&] {
    ScaleMask(reinterpret_cast<float*>(dst.data()), kSide * 4, kSide, kSide, 0, 0, kSide, kSide,
              reinterpret_cast<const float*>(src.data()), kHalf * 4, kHalf, kHalf, 0, 0, kHalf,
              kHalf, mode, 0.5f);
  });
}
BENCHMARK(BM_ScaleMask2048To4096)
    ->ArgNames({"mode", "scalar"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Args: direction, factor in hundredths. The destination holds the sheared extent.
void BM_Shear(benchmark::State& state) {
  const auto direction = static_cast<std::uint32_t>(state.range(0));
  const double factor = static_cast<double>(state.range(1)) / 100.0;
  const bool horizontal = direction == 1 || direction == 2;
  const int length =
      factor >= 0 ? static_cast<int>(std::ceil(kSide + factor * (kSide - 1))) : kSide;
  const int dw = horizontal ? length : kSide, dh = horizontal ? kSide : length;
  auto src = PatternBytes(kPlaneBytes, 5);
  std::vector<std::uint8_t> dst(std::size_t{4} * dw * dh);
  RunAgainstMemcpy(state, std::int64_t{dw} * dh, kPlaneBytes, [&] {
    Shear(src.data(), kSide * 4, kSide, kSide, dst.data(), dw * 4, dw, dh, direction, factor);
  });
}
BENCHMARK(BM_Shear)
    ->Args({2, 25})
    ->Args({2, -25})
    ->Args({1, 25})
    ->Args({3, 25})
    ->Args({3, -25})
    ->Args({3, 0})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace morvex::bench
