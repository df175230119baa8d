// Processor paths for the tone tests: each export is run with the feature
// flags pinned to every kernel choice the machine can take.
#pragma once

#include <cstdint>
#include <vector>

#include "frame/cpu_features.h"

namespace morvex::test {

struct CpuPath {
  const char* label;
  std::uint32_t flags;
};

inline std::vector<CpuPath> CpuPaths() {
  const std::uint32_t probed = ProbedCpuFeatureFlags();
  std::vector<CpuPath> paths{{"probed", probed}};
  if (probed & kCpuAvx2) paths.push_back({"no-avx2", probed & ~kCpuAvx2});
  if (probed & kCpuSse2) paths.push_back({"sse2", kCpuMmx | kCpuSse | kCpuSse2});
  paths.push_back({"scalar", 0});
  return paths;
}

// Pins the flags for a scope.
class PinnedCpu {
 public:
  explicit PinnedCpu(const CpuPath& path) { SetCpuFeatureFlagsForTest(path.flags); }
  ~PinnedCpu() { RestoreCpuFeatureFlagsForTest(); }
  PinnedCpu(const PinnedCpu&) = delete;
  PinnedCpu& operator=(const PinnedCpu&) = delete;
};

}  // namespace morvex::test
