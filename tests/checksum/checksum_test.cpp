// Runs every registered checksum case on every processor path the machine
// has, and compares with the committed values.
#include <gtest/gtest.h>

#include <vector>

#include "frame/cpu_features.h"
#include "support/checksum.h"

namespace morvex::test {
namespace {

struct PathConfig {
  const char* label;
  std::uint32_t flags;
};

std::vector<PathConfig> Paths() {
  const std::uint32_t probed = ProbedCpuFeatureFlags();
  std::vector<PathConfig> paths{{"probed", probed}};
  if (probed & kCpuAvx2) paths.push_back({"no-avx2", probed & ~kCpuAvx2});
  if (probed & (kCpuSsse3 | kCpuSse41))
    paths.push_back({"sse2", probed & (kCpuMmx | kCpuSse | kCpuSse2)});
  paths.push_back({"scalar", 0});
  return paths;
}

TEST(Checksums, EveryExportGivesItsCommittedBitsOnEveryPath) {
  ASSERT_FALSE(ChecksumCases().empty());
  for (const ChecksumCase& c : ChecksumCases()) {
    for (const PathConfig& path : Paths()) {
      SetCpuFeatureFlagsForTest(path.flags);
      const std::uint64_t got = RunChecksumCase(c, path.label);
      RestoreCpuFeatureFlagsForTest();
      const bool sse2 = (path.flags & kCpuSse2) != 0;
      const std::uint64_t want =
          (!sse2 && c.expectedWithoutSse2 != 0) ? c.expectedWithoutSse2 : c.expected;
      EXPECT_EQ(got, want) << c.name << " on path " << path.label << ": got 0x" << std::hex
                           << got;
    }
  }
}

}  // namespace
}  // namespace morvex::test
