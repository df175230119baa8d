// Runs every registered checksum case on every processor path the machine
// has, and compares with the committed values.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "frame/cpu_features.h"
#include "support/checksum.h"

namespace morvex::test {
namespace {

std::vector<ChecksumCase>& Cases() {
  static std::vector<ChecksumCase> cases;
  return cases;
}

std::uint64_t SeedOf(const char* name) {
  Hasher h;
  h.Bytes(name, std::strlen(name));
  return h.value();
}

// With MORVEX_CHECKSUM_TRACE set, every call's running hash is printed, so
// tools/checksum_diff can find the first call on which two builds disagree.
bool TraceCalls() {
  static const bool trace = std::getenv("MORVEX_CHECKSUM_TRACE") != nullptr;
  return trace;
}

std::uint64_t RunCase(const ChecksumCase& c, const char* path) {
  const std::uint64_t seed = SeedOf(c.name);
  Rng rng(seed);
  Hasher hash;
  for (int i = 0; i < c.calls; ++i) {
    c.run(rng, hash);
    if (TraceCalls())
      std::printf("checksum-trace %s %s seed=%016" PRIx64 " call=%d %016" PRIx64 "\n", c.name,
                  path, seed, i, hash.value());
  }
  return hash.value();
}

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
  ASSERT_FALSE(Cases().empty());
  for (const ChecksumCase& c : Cases()) {
    for (const PathConfig& path : Paths()) {
      SetCpuFeatureFlagsForTest(path.flags);
      const std::uint64_t got = RunCase(c, path.label);
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

int RegisterChecksumCase(const ChecksumCase& entry) {
  Cases().push_back(entry);
  return static_cast<int>(Cases().size());
}

}  // namespace morvex::test
