#include "mask/noise.h"

#include "frame/convert.h"
#include "frame/cpu_features.h"

namespace morvex::mask {

void FillRamp(float* out, std::int32_t count, float low, float high) {
  const float d = ToSingle(static_cast<double>(high) - static_cast<double>(low));
  const float c = static_cast<float>(count - 1);
  for (std::int32_t i = 0; i < count; ++i) {
    const float q = ToSingle(static_cast<double>(i) / static_cast<double>(c));
    out[i] = ToSingle(static_cast<double>(low) + static_cast<double>(q) * static_cast<double>(d));
  }
}

std::uint32_t NoiseRowScalar(Byte* dst, std::int32_t count, const float* levels,
                             std::uint32_t state) {
  for (std::int32_t x = 0; x < count; ++x) {
    state = NoiseStep(state);
    StoreF32(dst + ElementOffset(x, 4), levels[NoiseLevelIndex(state)]);
  }
  return state;
}

const NoiseKernels kNoiseKernelsScalar = {&NoiseRowScalar};
constinit const KernelTable<NoiseKernels> kNoiseKernelTable("noise", &kNoiseKernelsScalar,
                                                            &kNoiseKernelsSse2, &kNoiseKernelsAvx2);

void GenerateNoise(Rows dst, std::int32_t width, std::int32_t height, float low, float high,
                   std::uint32_t seed) {
  // The levels are rebuilt on every call, before the size test.
  alignas(32) float levels[kNoiseLevelCount];
  FillRamp(levels, kNoiseLevelCount, low, high);
  // A row of width 0 or less consumes no generator outputs and writes
  // nothing, so such a region is done without walking its rows.
  if (height <= 0 || width <= 0) return;
  const NoiseRowFn row = kNoiseKernelTable.For(CpuFeatureFlags()).row;
  // The state runs on from row to row.
  std::uint32_t state = seed;
  for (std::int32_t y = 0; y < height; ++y) {
    state = row(dst.row, width, levels, state);
    dst.Next();
  }
}

}  // namespace morvex::mask
