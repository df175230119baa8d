// The processor paths a test runs an export on.
#pragma once

#include <cstdint>
#include <vector>

#include "frame/cpu_features.h"

namespace morvex::test {

struct CpuPath {
  const char* label;
  std::uint32_t flags;
};

// Every path this machine can run: the full machine first, then each
// narrower instruction set it has (no VBMI, no AVX-512, no AVX2, SSE2 only),
// then plain scalar code (flags 0).
inline std::vector<CpuPath> CpuPaths() {
  const std::uint32_t probed = ProbedCpuFeatureFlags();
  const std::uint32_t avx512 = kCpuAvx512 | kCpuAvx512Vbmi;
  std::vector<CpuPath> paths{{"probed", probed}};
  if (probed & kCpuAvx512Vbmi) paths.push_back({"avx512", probed & ~kCpuAvx512Vbmi});
  if (probed & kCpuAvx512) paths.push_back({"avx2", probed & ~avx512});
  if (probed & kCpuAvx2) paths.push_back({"sse4.1", probed & ~(kCpuAvx2 | avx512)});
  if (probed & (kCpuSsse3 | kCpuSse41))
    paths.push_back({"sse2", probed & (kCpuMmx | kCpuSse | kCpuSse2)});
  paths.push_back({"scalar", 0});
  return paths;
}

// Pins a path for the lifetime of the object.
class PinnedCpuPath {
 public:
  explicit PinnedCpuPath(const CpuPath& path) { SetCpuFeatureFlagsForTest(path.flags); }
  ~PinnedCpuPath() { RestoreCpuFeatureFlagsForTest(); }
  PinnedCpuPath(const PinnedCpuPath&) = delete;
  PinnedCpuPath& operator=(const PinnedCpuPath&) = delete;
};

}  // namespace morvex::test
