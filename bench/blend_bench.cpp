// The blending family at 4096x4096 against a same-run memcpy of the plane.
#include "bench_util.h"
#include "morvex/native.h"

namespace morvex::bench {
namespace {

constexpr int kSide = 4096;
constexpr std::size_t kImageBytes = std::size_t{kSide} * kSide * 4;
constexpr std::int64_t kPixels = std::int64_t{kSide} * kSide;

// Premultiplied pattern pixels, so every mode works on realistic bytes.
std::vector<std::uint8_t> Image(std::uint32_t seed) {
  auto v = PatternBytes(kImageBytes, seed);
  for (std::size_t i = 0; i < v.size(); i += 4)
    for (int c = 0; c < 3; ++c)
      if (v[i + c] > v[i + 3]) v[i + c] = v[i + 3];
  return v;
}

void BM_Blend(benchmark::State& state) {
  auto dst = Image(1), src = Image(2);
  RunAgainstMemcpy(state, kPixels, kImageBytes,
                   [&] { Blend(dst.data(), kSide * 4, src.data(), kSide * 4, kSide, kSide, 0.3); });
}
BENCHMARK(BM_Blend)->UseManualTime()->Unit(benchmark::kMillisecond);

// state.range(0): 1 with a weight table. Each row also gives the scalar
// kernels' figure (scalar_x_memcpy).
void BM_MaskedBlend(benchmark::State& state) {
  auto dst = Image(1), src = Image(2), mask = PatternBytes(kImageBytes, 3);
  auto lut = PatternBytes(1024, 4);
  const std::uint8_t* table = state.range(0) ? lut.data() : nullptr;
  RunWithScalarColumn(state, kPixels, kImageBytes, [&] {
    MaskedBlend(dst.data(), kSide * 4, mask.data(), kSide * 4, src.data(), kSide * 4, kSide, kSide,
                table);
  });
}
BENCHMARK(BM_MaskedBlend)->ArgName("table")->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_MaskedFade(benchmark::State& state) {
  auto dst = Image(1), src = Image(2), mask = PatternBytes(kImageBytes, 3);
  RunWithScalarColumn(state, kPixels, kImageBytes, [&] {
    MaskedFade(dst.data(), kSide * 4, mask.data(), kSide * 4, src.data(), kSide * 4, kSide, kSide);
  });
}
BENCHMARK(BM_MaskedFade)->UseManualTime()->Unit(benchmark::kMillisecond);

// state.range(0): mode; state.range(1): opacity in percent.
void BM_Composite(benchmark::State& state) {
  auto dst = Image(1), src = Image(2);
  const auto mode = static_cast<std::int32_t>(state.range(0));
  const double opacity = static_cast<double>(state.range(1)) / 100.0;
  RunAgainstMemcpy(state, kPixels, kImageBytes, [&] {
    Composite(dst.data(), kSide * 4, src.data(), kSide * 4, kSide, kSide, mode, opacity);
  });
}
BENCHMARK(BM_Composite)
    ->ArgsProduct({{1, 3, 4, 5, 6, 7}, {100, 50}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_Multiply(benchmark::State& state) {
  auto dst = Image(1);
  RunAgainstMemcpy(state, kPixels, kImageBytes,
                   [&] { Multiply(dst.data(), kSide * 4, kSide, kSide, 0.999); });
}
BENCHMARK(BM_Multiply)->UseManualTime()->Unit(benchmark::kMillisecond);

// state.range(0): 1 for the general remapping (scale 0.8, offset 20).
void BM_MultiplyChannel(benchmark::State& state) {
  auto dst = Image(1), mask = PatternBytes(kImageBytes, 3);
  const double scale = state.range(0) ? 0.8 : 1.0, offset = state.range(0) ? 20.0 : 0.0;
  RunAgainstMemcpy(state, kPixels, kImageBytes, [&] {
    MultiplyChannel(dst.data(), kSide * 4, 3, mask.data(), kSide * 4, 1, kSide, kSide, scale,
                    offset);
  });
}
BENCHMARK(BM_MultiplyChannel)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// state.range(0): mask channel (-1 per channel); state.range(1): general.
void BM_MaskMultiply(benchmark::State& state) {
  auto dst = Image(1), mask = PatternBytes(kImageBytes, 3);
  const auto channel = static_cast<std::int32_t>(state.range(0));
  const double scale = state.range(1) ? 0.8 : 1.0, offset = state.range(1) ? 20.0 : 0.0;
  RunAgainstMemcpy(state, kPixels, kImageBytes, [&] {
    MaskMultiply(dst.data(), kSide * 4, mask.data(), kSide * 4, kSide, kSide, channel, scale,
                 offset);
  });
}
BENCHMARK(BM_MaskMultiply)
    ->ArgsProduct({{-1, 3}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_ClipRestore(benchmark::State& state) {
  const std::size_t bytes = std::size_t{kSide} * kSide * 16;
  std::vector<float> dst(bytes / 4);
  auto pattern = PatternBytes(dst.size(), 5);
  for (std::size_t i = 0; i < dst.size(); ++i) dst[i] = pattern[i];
  RunAgainstMemcpy(state, kPixels, bytes,
                   [&] { ClipRestore(dst.data(), kSide * 16, kSide, kSide, 0.9, 0.5); });
}
BENCHMARK(BM_ClipRestore)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace morvex::bench
