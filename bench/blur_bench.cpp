// Both blurs at 1920x1080 and 4096x4096, each pass on its own and both
// together, on the path this processor takes and on the scalar path (a
// second column of counters). Figures are the best of the repetitions (the
// machine is shared), each against the best memcpy of a reference plane
// timed in the same benchmark: the image plane for GaussianBlur, a plane of
// four bytes per element for GaussianBlurMask.
//
// Counters: ms, x_memcpy, GB/s (the bytes each pass must move: the plane and
// the intermediate, read or written once, over the time), and scalar_ms,
// scalar_x_memcpy.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>

#include "bench_util.h"
#include "blur/gaussian.h"
#include "frame/cpu_features.h"

namespace morvex::bench {
namespace {

struct Size {
  int width, height;
};
constexpr Size kSizes[] = {{1920, 1080}, {4096, 4096}};
constexpr blur::BlurPasses kPasses[] = {blur::BlurPasses::kBoth, blur::BlurPasses::kHorizontal,
                                        blur::BlurPasses::kVertical};

// A host-style plane: `bytes` bytes starting on a cache line.
class AlignedBytes {
 public:
  explicit AlignedBytes(std::size_t bytes) : storage_(PatternBytes(bytes + 64)) {}
  std::uint8_t* data() {
    const auto misalign = reinterpret_cast<std::uintptr_t>(storage_.data()) % 64;
    return storage_.data() + (64 - misalign) % 64;
  }

 private:
  std::vector<std::uint8_t> storage_;
};

template <class Call>
double Seconds(Call&& call) {
  const auto t0 = std::chrono::steady_clock::now();
  call();
  benchmark::ClobberMemory();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Pins the scalar path (flags 0) for a scope.
class ScalarPath {
 public:
  ScalarPath() { SetCpuFeatureFlagsForTest(0); }
  ~ScalarPath() { RestoreCpuFeatureFlagsForTest(); }
};

// Times `call` (the probed path) every iteration and on the scalar path in
// the first two, and a memcpy of `referenceBytes` every iteration.
template <class Call>
void Measure(benchmark::State& state, std::size_t referenceBytes, double movedBytes,
             Call&& call) {
  std::vector<std::uint8_t> src = PatternBytes(referenceBytes), dst(referenceBytes);
  std::memcpy(dst.data(), src.data(), referenceBytes);
  call();  // the intermediate holds a horizontal result before a vertical pass alone
  double best = std::numeric_limits<double>::infinity(), scalar = best, copy = best;
  int n = 0;
  for (auto _ : state) {
    const double t = Seconds(call);
    state.SetIterationTime(t);
    best = std::min(best, t);
    copy = std::min(copy, Seconds([&] { std::memcpy(dst.data(), src.data(), referenceBytes); }));
    if (n++ < 2) {
      const ScalarPath pin;
      scalar = std::min(scalar, Seconds(call));
    }
  }
  state.counters["ms"] = best * 1e3;
  state.counters["x_memcpy"] = best / copy;
  state.counters["GB/s"] = movedBytes / best * 1e-9;
  state.counters["scalar_ms"] = scalar * 1e3;
  state.counters["scalar_x_memcpy"] = scalar / copy;
}

// The bytes a pass must move: the plane once and the intermediate once.
double MovedBytes(blur::BlurPasses passes, double planeBytes, double tempBytes) {
  const double one = planeBytes + tempBytes;
  return passes == blur::BlurPasses::kBoth ? 2 * one : one;
}

// Args: size index, sigma, format, passes (0 both, 1 horizontal, 2 vertical).
void BM_GaussianBlur(benchmark::State& state) {
  const Size size = kSizes[state.range(0)];
  const double sigma = static_cast<double>(state.range(1));
  const int format = static_cast<int>(state.range(2));
  const blur::BlurPasses passes = kPasses[state.range(3)];
  const std::size_t pixels = static_cast<std::size_t>(size.width) * size.height;
  const std::size_t planeBytes = pixels * format;
  AlignedBytes image(planeBytes);
  if (format == 16) {
    for (std::size_t i = 0; i < planeBytes; i += 4) {
      const float v = static_cast<float>(image.data()[i]);
      std::memcpy(image.data() + i, &v, 4);
    }
  }
  AlignedBytes temp(pixels * 16);
  Measure(state, planeBytes, MovedBytes(passes, planeBytes, pixels * 16.0), [&] {
    blur::GaussianBlurImage(image.data(), size.width * format, format, size.width, size.height,
                            temp.data(), static_cast<std::int32_t>(pixels * 16), sigma, sigma,
                            nullptr, nullptr, passes);
  });
}
BENCHMARK(BM_GaussianBlur)
    ->ArgNames({"size", "sigma", "format", "pass"})
    ->ArgsProduct({{0, 1}, {1, 2, 10, 54}, {4}, {0, 1, 2}})
    ->ArgsProduct({{0, 1}, {2, 54}, {16}, {0, 1, 2}})
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Args: size index, sigma, format, passes.
void BM_GaussianBlurMask(benchmark::State& state) {
  const Size size = kSizes[state.range(0)];
  const double sigma = static_cast<double>(state.range(1));
  const int format = static_cast<int>(state.range(2));
  const blur::BlurPasses passes = kPasses[state.range(3)];
  const std::size_t elements = static_cast<std::size_t>(size.width) * size.height;
  AlignedBytes mask(elements * format);
  AlignedBytes temp(elements * 4);
  Measure(state, elements * 4, MovedBytes(passes, elements * format, elements * 4.0), [&] {
    blur::GaussianBlurMaskPlane(mask.data() + (format == 4 ? 3 : 0), size.width * format, format,
                                size.width, size.height, temp.data(),
                                static_cast<std::int32_t>(elements * 4), sigma, sigma, 1.0, 0.0,
                                nullptr, nullptr, passes);
  });
}
BENCHMARK(BM_GaussianBlurMask)
    ->ArgNames({"size", "sigma", "format", "pass"})
    ->ArgsProduct({{0, 1}, {2, 54}, {1, 4}, {0, 1, 2}})
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace morvex::bench
