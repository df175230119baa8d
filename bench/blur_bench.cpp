// Both blurs at 1920x1080 and 4096x4096 for sigma 1, 5, 20 and 54, each
// format and path, against a same-run memcpy of the image plane (for the
// mask, of a 4-byte-per-pixel plane of the same size).
#include <time.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "bench_util.h"
#include "frame/cpu_features.h"
#include "morvex/native.h"

namespace morvex::bench {
namespace {

struct Size {
  int width, height;
};
constexpr Size kSizes[] = {{1920, 1080}, {4096, 4096}};

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

// The machine is shared, so wall-clock means are noisy: each benchmark also
// reports "cpu_x_memcpy", the best thread CPU time of one call over the best
// thread CPU time of a memcpy of the same plane.
double ThreadCpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double BestMemcpyCpuSeconds(std::size_t bytes) {
  std::vector<std::uint8_t> src = PatternBytes(bytes), dst(bytes);
  std::memcpy(dst.data(), src.data(), bytes);
  double best = std::numeric_limits<double>::infinity();
  for (int rep = 0; rep < 30; ++rep) {
    const double t0 = ThreadCpuSeconds();
    std::memcpy(dst.data(), src.data(), bytes);
    benchmark::ClobberMemory();
    best = std::min(best, ThreadCpuSeconds() - t0);
  }
  return best;
}

template <class Call>
void RunBoth(benchmark::State& state, std::int64_t pixels, std::size_t planeBytes, Call&& call) {
  double best = std::numeric_limits<double>::infinity();
  RunAgainstMemcpy(state, pixels, planeBytes, [&] {
    const double t0 = ThreadCpuSeconds();
    call();
    best = std::min(best, ThreadCpuSeconds() - t0);
  });
  state.counters["cpu_ms"] = best * 1e3;
  state.counters["cpu_x_memcpy"] = best / BestMemcpyCpuSeconds(planeBytes);
}

// Pins the scalar path (flags 0) or keeps the probed one for a scope.
class Path {
 public:
  explicit Path(bool scalar) {
    if (scalar) SetCpuFeatureFlagsForTest(0);
  }
  ~Path() { RestoreCpuFeatureFlagsForTest(); }
};

// Args: size index, sigma, format, scalar path (0/1).
void BM_GaussianBlur(benchmark::State& state) {
  const Size size = kSizes[state.range(0)];
  const double sigma = static_cast<double>(state.range(1));
  const int format = static_cast<int>(state.range(2));
  const Path path(state.range(3) != 0);
  const std::size_t planeBytes =
      std::size_t{static_cast<std::size_t>(size.width)} * size.height * format;
  AlignedBytes image(planeBytes);
  if (format == 16) {
    for (std::size_t i = 0; i < planeBytes; i += 4) {
      const float v = static_cast<float>(image.data()[i]);
      std::memcpy(image.data() + i, &v, 4);
    }
  }
  const std::size_t tempBytes =
      std::size_t{static_cast<std::size_t>(size.width)} * size.height * 16;
  AlignedBytes temp(tempBytes);
  RunBoth(state, std::int64_t{size.width} * size.height, planeBytes, [&] {
    GaussianBlur(image.data(), size.width * format, format, size.width, size.height,
                 reinterpret_cast<float*>(temp.data()), static_cast<std::int32_t>(tempBytes), sigma,
                 sigma, nullptr, nullptr);
  });
}
BENCHMARK(BM_GaussianBlur)
    ->ArgNames({"size", "sigma", "format", "scalar"})
    ->ArgsProduct({{0, 1}, {1, 5, 20, 54}, {4, 16}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Args: size index, sigma, format, scalar kernels (0/1).
void BM_GaussianBlurMask(benchmark::State& state) {
  const Size size = kSizes[state.range(0)];
  const double sigma = static_cast<double>(state.range(1));
  const int format = static_cast<int>(state.range(2));
  const Path path(state.range(3) != 0);
  const std::size_t elements = std::size_t{static_cast<std::size_t>(size.width)} * size.height;
  AlignedBytes mask(elements * format);
  AlignedBytes temp(elements * 4);
  RunBoth(state, static_cast<std::int64_t>(elements), elements * 4, [&] {
    GaussianBlurMask(mask.data() + (format == 4 ? 3 : 0), size.width * format, format, size.width,
                     size.height, reinterpret_cast<float*>(temp.data()),
                     static_cast<std::int32_t>(elements * 4), sigma, sigma, 1.0, 0.0, nullptr,
                     nullptr);
  });
}
BENCHMARK(BM_GaussianBlurMask)
    ->ArgNames({"size", "sigma", "format", "scalar"})
    ->ArgsProduct({{0, 1}, {1, 5, 20, 54}, {1, 4}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace morvex::bench
