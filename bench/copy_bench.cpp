// Copies at 4096x4096 against a same-run memcpy.
#include "bench_util.h"
#include "morvex/native.h"

namespace morvex::bench {
namespace {

constexpr int kSide = 4096;

void BM_BitmapCopy(benchmark::State& state) {
  const std::size_t bytes = std::size_t{kSide} * kSide * 4;
  auto src = PatternBytes(bytes), dst = PatternBytes(bytes, 2);
  RunAgainstMemcpy(state, std::int64_t{kSide} * kSide, bytes, [&] {
    BitmapCopy(dst.data(), kSide * 4, src.data(), kSide * 4, 4, kSide, kSide);
  });
}
BENCHMARK(BM_BitmapCopy)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ChannelCopyAlphaToMask(benchmark::State& state) {
  auto src = PatternBytes(std::size_t{kSide} * kSide * 4);
  auto dst = PatternBytes(std::size_t{kSide} * kSide, 2);
  RunAgainstMemcpy(state, std::int64_t{kSide} * kSide, dst.size(), [&] {
    ChannelCopy(dst.data(), kSide, 1, kSide, kSide, src.data() + 3, kSide * 4, 4);
  });
}
BENCHMARK(BM_ChannelCopyAlphaToMask)->UseManualTime()->Unit(benchmark::kMillisecond);

// The mask back into one channel, and one channel into another: the image
// plane is read and written whole, so these are reported against a memcpy of
// the image plane.
void BM_ChannelCopyMaskToAlpha(benchmark::State& state) {
  auto src = PatternBytes(std::size_t{kSide} * kSide);
  auto dst = PatternBytes(std::size_t{kSide} * kSide * 4, 2);
  RunAgainstMemcpy(state, std::int64_t{kSide} * kSide, dst.size(), [&] {
    ChannelCopy(dst.data() + 3, kSide * 4, 4, kSide, kSide, src.data(), kSide, 1);
  });
}
BENCHMARK(BM_ChannelCopyMaskToAlpha)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ChannelCopyAlphaToBlue(benchmark::State& state) {
  auto src = PatternBytes(std::size_t{kSide} * kSide * 4);
  auto dst = PatternBytes(std::size_t{kSide} * kSide * 4, 2);
  RunAgainstMemcpy(state, std::int64_t{kSide} * kSide, dst.size(), [&] {
    ChannelCopy(dst.data(), kSide * 4, 4, kSide, kSide, src.data() + 3, kSide * 4, 4);
  });
}
BENCHMARK(BM_ChannelCopyAlphaToBlue)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace morvex::bench

BENCHMARK_MAIN();
