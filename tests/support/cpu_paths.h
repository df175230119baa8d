// The processor paths a test runs an export on, derived from the library's
// instruction-set levels (frame/dispatch.h).
#pragma once

#include <cstdint>
#include <vector>

#include "frame/cpu_features.h"
#include "frame/dispatch.h"

namespace morvex::test {

struct CpuPath {
  const char* label;  // the level's name: "avx512vbmi", ..., "sse2", "scalar"
  std::uint32_t flags;
  InstructionSet level;
};

// Every level this machine can run, widest first, ending with plain scalar
// code (flags 0).
inline std::vector<CpuPath> CpuPaths() {
  const std::uint32_t probed = ProbedCpuFeatureFlags();
  std::vector<CpuPath> paths;
  for (int i = kInstructionSetCount - 1; i >= 0; --i) {
    const InstructionSet set = kInstructionSets[i];
    if (HasCpu(probed, RequiredFeatures(set)))
      paths.push_back({InstructionSetName(set), FeaturesUpTo(set, probed), set});
  }
  return paths;
}

// The paths on which `table` runs kernels of its own: one per entry this
// machine can run.
inline std::vector<CpuPath> CpuPathsOf(const KernelTableBase& table) {
  std::vector<CpuPath> paths;
  for (const CpuPath& path : CpuPaths())
    if (table.Has(path.level)) paths.push_back(path);
  return paths;
}

// Records that tests ran code on `level`, for the test command's report of
// the levels covered: where MORVEX_PATH_LOG names a directory, each process
// keeps one file there listing the levels it ran and those the build holds.
void NoteCpuPathRun(InstructionSet level);

// Pins a path for the lifetime of the object (and notes it as run).
class PinnedCpuPath {
 public:
  explicit PinnedCpuPath(const CpuPath& path) {
    SetCpuFeatureFlagsForTest(path.flags);
    NoteCpuPathRun(path.level);
  }
  ~PinnedCpuPath() { RestoreCpuFeatureFlagsForTest(); }
  PinnedCpuPath(const PinnedCpuPath&) = delete;
  PinnedCpuPath& operator=(const PinnedCpuPath&) = delete;
};

}  // namespace morvex::test
