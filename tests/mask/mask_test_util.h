// Helpers shared by the mask tests: processor paths and float planes.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "frame/cpu_features.h"
#include "support/test_plane.h"

namespace morvex::test {

// The kernel choices a call can take on this machine, widest first.
struct CpuPath {
  const char* label;
  std::uint32_t flags;
};
inline std::vector<CpuPath> CpuPaths() {
  const std::uint32_t probed = ProbedCpuFeatureFlags();
  std::vector<CpuPath> paths;
  if (probed & kCpuAvx2) paths.push_back({"avx2", probed});
  if (probed & kCpuSse2) paths.push_back({"sse2", probed & (kCpuMmx | kCpuSse | kCpuSse2)});
  paths.push_back({"scalar", 0});
  return paths;
}

// Pins the processor path for its lifetime.
class PinnedPath {
 public:
  explicit PinnedPath(const CpuPath& path) { SetCpuFeatureFlagsForTest(path.flags); }
  ~PinnedPath() { RestoreCpuFeatureFlagsForTest(); }
  PinnedPath(const PinnedPath&) = delete;
  PinnedPath& operator=(const PinnedPath&) = delete;
};

inline float FloatAt(const TestPlane& plane, int x, int y) { return plane.Get<float>(4 * x, y); }
inline void SetFloat(TestPlane& plane, int x, int y, float v) { plane.Set<float>(4 * x, y, v); }
inline std::uint32_t PixelAt(const TestPlane& plane, int x, int y) {
  return plane.Get<std::uint32_t>(4 * x, y);
}

// Random floats in [lo, hi) in every row.
inline void FillFloats(TestPlane& plane, Rng& rng, double lo, double hi) {
  for (int y = 0; y < plane.rows(); ++y)
    for (int x = 0; x < plane.rowBytes() / 4; ++x)
      SetFloat(plane, x, y, static_cast<float>(rng.Real(lo, hi)));
}

inline std::uint32_t FloatBits(float v) {
  std::uint32_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

}  // namespace morvex::test
