// Both blurs at 1920x1080 and 4096x4096, each pass on its own and both
// together, on the path this processor takes and on the scalar path (a
// second column of counters). Figures are the best of the repetitions (the
// machine is shared), each against the best memcpy of a reference plane
// timed in the same benchmark: the image plane for GaussianBlur, a plane of
// four bytes per element for GaussianBlurMask.
//
// Counters: ms, x_memcpy, GB/s (the bytes each pass must move: the plane and
// the intermediate, read or written once, over the time), and scalar_ms,
// scalar_x_memcpy. BM_GaussianBlurFloor moves the bytes of each 8-bit pass
// without its arithmetic, as the pass's floor.
#include <emmintrin.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>

#include "bench_util.h"
#include "blur/gaussian.h"
#include "frame/compiler.h"
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
void Measure(benchmark::State& state, std::size_t referenceBytes, double movedBytes, Call&& call,
             bool scalarColumn = true) {
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
    if (scalarColumn && n++ < 2) {
      const ScalarPath pin;
      scalar = std::min(scalar, Seconds(call));
    }
  }
  state.counters["ms"] = best * 1e3;
  state.counters["x_memcpy"] = best / copy;
  state.counters["GB/s"] = movedBytes / best * 1e-9;
  if (!scalarColumn) return;
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

// ---- Floors ----
// Each pass of the 8-bit blur without its arithmetic: the same bytes moved
// in the same order and with the same kinds of access as the chosen kernels
// (groups of rows of the row kernel, strips of the column kernel), so that a
// pass can be set against the fastest the memory allows for its pattern.

MORVEX_INLINE __m128i LoadLine(const std::uint8_t* p, __m128i acc) {
  for (int q = 0; q < 4; ++q)
    acc = _mm_xor_si128(acc, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p) + q));
  return acc;
}

MORVEX_INLINE void StreamBytes(std::uint8_t* p, std::size_t bytes, __m128i v) {
  for (std::size_t q = 0; q < bytes; q += 16)
    _mm_stream_si128(reinterpret_cast<__m128i*>(p + q), v);
}

// Row pass: a group's rows read forward a cache line of every row at a time,
// then its intermediate rows written backward, a cache line of every row at
// a time, past the cache.
__attribute__((noinline)) void RowPassFloor(const std::uint8_t* image, std::uint8_t* temp,
                                            int width, int height, int groupRows) {
  constexpr int kLinePixels = 4;
  const std::ptrdiff_t stride = std::ptrdiff_t{width} * 4, pitch = std::ptrdiff_t{width} * 16;
  __m128i acc = _mm_setzero_si128();
  for (int r0 = 0; r0 < height; r0 += groupRows) {
    const int rows = std::min(groupRows, height - r0);
    for (std::ptrdiff_t x = 0; x + 64 <= stride; x += 64)
      for (int j = 0; j < rows; ++j) acc = LoadLine(image + (r0 + j) * stride + x, acc);
    for (std::ptrdiff_t b = width - kLinePixels; b >= 0; b -= kLinePixels)
      for (int j = 0; j < rows; ++j) StreamBytes(temp + (r0 + j) * pitch + b * 16, 64, acc);
  }
  _mm_sfence();
}

// Column pass: a strip's intermediate read down its rows with the kernel's
// prefetch ahead (of the next strip's too where the kernels fetch pairs),
// then its image rows written upward, past the cache.
__attribute__((noinline)) void ColumnPassFloor(const std::uint8_t* temp, std::uint8_t* image,
                                               int width, int height, int stripColumns) {
  const std::ptrdiff_t stride = std::ptrdiff_t{width} * 4, pitch = std::ptrdiff_t{width} * 16;
  constexpr int kAhead = blur::kColumnPrefetchRows;
  __m128i acc = _mm_setzero_si128();
  for (int c0 = 0; c0 + stripColumns <= width; c0 += stripColumns) {
    const std::ptrdiff_t rowBytes = std::ptrdiff_t{stripColumns} * 16;
    const std::ptrdiff_t aheadBytes = std::max<std::ptrdiff_t>(
        blur::StripAheadColumns(width, height, c0, stripColumns, 16) * 16, rowBytes);
    for (int r = 0; r < height; ++r) {
      const std::uint8_t* x = temp + r * pitch + std::ptrdiff_t{c0} * 16;
      if (r + kAhead < height)
        for (std::ptrdiff_t b = 0; b < aheadBytes; b += 64)
          __builtin_prefetch(x + kAhead * pitch + b, 0, 1);
      for (std::ptrdiff_t b = 0; b < rowBytes; b += 64) acc = LoadLine(x + b, acc);
    }
    for (int r = height - 1; r >= 0; --r)
      StreamBytes(image + r * stride + std::ptrdiff_t{c0} * 4, std::size_t(stripColumns) * 4, acc);
  }
  _mm_sfence();
}

// Args: size index, passes (0 both, 1 horizontal, 2 vertical). The geometry
// is the chosen 8-bit kernels': rows per group from the row buffer's slot,
// columns per strip as recorded.
void BM_GaussianBlurFloor(benchmark::State& state) {
  const Size size = kSizes[state.range(0)];
  const blur::BlurPasses passes = kPasses[state.range(1)];
  const blur::ImageKernels& kernels = blur::kImageSingleKernelTable.For(CpuFeatureFlags());
  const int groupRows = static_cast<int>(std::max<std::size_t>(kernels.bufferBytes / 16, 1));
  const std::size_t pixels = static_cast<std::size_t>(size.width) * size.height;
  AlignedBytes image(pixels * 4), temp(pixels * 16);
  Measure(
      state, pixels * 4, MovedBytes(passes, pixels * 4.0, pixels * 16.0),
      [&] {
        if (passes != blur::BlurPasses::kVertical)
          RowPassFloor(image.data(), temp.data(), size.width, size.height, groupRows);
        if (passes != blur::BlurPasses::kHorizontal)
          ColumnPassFloor(temp.data(), image.data(), size.width, size.height, kernels.stripColumns);
      },
      false);
}
BENCHMARK(BM_GaussianBlurFloor)
    ->ArgNames({"size", "pass"})
    ->ArgsProduct({{0, 1}, {0, 1, 2}})
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
