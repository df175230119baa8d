// Lookup tables and format conversions at 4096x4096 against a same-run
// memcpy of the 8-bit ARGB plane (64 MiB).
#include "bench_util.h"
#include "morvex/native.h"

namespace morvex::bench {
namespace {

constexpr int kSide = 4096;
constexpr std::int64_t kPixels = std::int64_t{kSide} * kSide;
constexpr std::size_t kArgbBytes = std::size_t{kSide} * kSide * 4;

void BM_Lut(benchmark::State& state) {
  auto image = PatternBytes(kArgbBytes);
  const auto table = PatternBytes(1024, 3);
  RunAgainstMemcpy(state, kPixels, kArgbBytes,
                   [&] { Lut(image.data(), kSide * 4, kSide, kSide, table.data()); });
}
BENCHMARK(BM_Lut)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_LutWithAlphaClamp(benchmark::State& state) {
  auto image = PatternBytes(kArgbBytes);
  const auto table = PatternBytes(1024, 3);
  RunAgainstMemcpy(state, kPixels, kArgbBytes, [&] {
    LutWithAlphaClamp(image.data(), kSide * 4, kSide, kSide, table.data());
  });
}
BENCHMARK(BM_LutWithAlphaClamp)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ChannelMap(benchmark::State& state) {
  auto image = PatternBytes(kArgbBytes);
  const auto table = PatternBytes(1024, 3);
  RunAgainstMemcpy(state, kPixels, kArgbBytes,
                   [&] { ChannelMap(image.data(), kSide * 4, 2, kSide, kSide, table.data()); });
}
BENCHMARK(BM_ChannelMap)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ChannelMapEx(benchmark::State& state) {
  const auto src = PatternBytes(kArgbBytes);
  auto dst = PatternBytes(kArgbBytes, 2);
  const auto table = PatternBytes(1024, 3);
  RunAgainstMemcpy(state, kPixels, kArgbBytes, [&] {
    ChannelMapEx(dst.data(), kSide * 4, src.data(), kSide * 4, 1, kSide, kSide, table.data());
  });
}
BENCHMARK(BM_ChannelMapEx)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ChannelMergeLut(benchmark::State& state) {
  auto image = PatternBytes(kArgbBytes);
  const auto table = PatternBytes(1024, 3);
  RunAgainstMemcpy(state, kPixels, kArgbBytes, [&] {
    ChannelMergeLut(image.data(), kSide * 4, 3, kSide, kSide, table.data());
  });
}
BENCHMARK(BM_ChannelMergeLut)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ConvertARGBToARGBFloat(benchmark::State& state) {
  const auto src = PatternBytes(kArgbBytes);
  std::vector<std::uint8_t> dst(kArgbBytes * 4);
  RunAgainstMemcpy(state, kPixels, kArgbBytes, [&] {
    ConvertARGBToARGBFloat(reinterpret_cast<float*>(dst.data()), kSide * 16, src.data(), kSide * 4,
                           kSide, kSide);
  });
}
BENCHMARK(BM_ConvertARGBToARGBFloat)->UseManualTime()->Unit(benchmark::kMillisecond);

// Float pixels holding 0..255 with fractions, from a first conversion.
std::vector<std::uint8_t> FloatPlane(std::size_t floats) {
  const auto bytes = PatternBytes(floats, 5);
  std::vector<std::uint8_t> plane(floats * 4);
  for (std::size_t i = 0; i < floats; ++i) {
    const float v = static_cast<float>(bytes[i]) + 0.25f * static_cast<float>(i & 3);
    std::memcpy(plane.data() + 4 * i, &v, 4);
  }
  return plane;
}

void BM_ConvertARGBFloatToARGB(benchmark::State& state) {
  const auto src = FloatPlane(kArgbBytes);
  auto dst = PatternBytes(kArgbBytes, 2);
  RunAgainstMemcpy(state, kPixels, kArgbBytes, [&] {
    ConvertARGBFloatToARGB(dst.data(), kSide * 4, reinterpret_cast<const float*>(src.data()), kSide * 16,
                           kSide, kSide);
  });
}
BENCHMARK(BM_ConvertARGBFloatToARGB)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ConvertChannelToFloatMask(benchmark::State& state) {
  const auto src = PatternBytes(kArgbBytes);
  std::vector<std::uint8_t> dst(kArgbBytes);
  const auto table = FloatPlane(256);
  RunAgainstMemcpy(state, kPixels, kArgbBytes, [&] {
    ConvertChannelToFloatMask(reinterpret_cast<float*>(dst.data()), kSide * 4, src.data(), kSide * 4, 3,
                              kSide, kSide,
                              reinterpret_cast<const float*>(table.data()));
  });
}
BENCHMARK(BM_ConvertChannelToFloatMask)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ConvertFloatMaskToARGB(benchmark::State& state) {
  const auto src = FloatPlane(kPixels);
  auto dst = PatternBytes(kArgbBytes, 2);
  RunAgainstMemcpy(state, kPixels, kArgbBytes, [&] {
    ConvertFloatMaskToARGB(dst.data(), kSide * 4, reinterpret_cast<const float*>(src.data()), kSide * 4, kSide, kSide);
  });
}
BENCHMARK(BM_ConvertFloatMaskToARGB)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace morvex::bench
