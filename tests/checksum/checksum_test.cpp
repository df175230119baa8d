// Runs every registered checksum case on every processor path the machine
// has, and compares with the committed values.
#include <gtest/gtest.h>

#include <vector>

#include "frame/cpu_features.h"
#include "support/checksum.h"
#include "support/cpu_paths.h"

namespace morvex::test {
namespace {

TEST(Checksums, EveryExportGivesItsCommittedBitsOnEveryPath) {
  ASSERT_FALSE(ChecksumCases().empty());
  for (const ChecksumCase& c : ChecksumCases()) {
    for (const CpuPath& path : CpuPaths()) {
      std::uint64_t got;
      {
        const PinnedCpuPath pinned(path);
        got = RunChecksumCase(c, path.label);
      }
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
