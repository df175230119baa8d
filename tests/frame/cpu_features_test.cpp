#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "frame/cpu_features.h"
#include "frame/once.h"

namespace morvex {
namespace {

TEST(OnceGate, FillsExactlyOnceWhenManyThreadsArriveTogether) {
  for (int round = 0; round < 20; ++round) {
    OnceGate gate;
    std::atomic<int> fills{0};
    std::atomic<bool> go{false};
    int value = 0;  // written by the one fill, read by every thread after Run
    std::vector<int> seen(8, -1);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
      threads.emplace_back([&, t] {
        while (!go.load()) {
        }
        gate.Run([&] {
          fills.fetch_add(1);
          value = 42;
        });
        seen[static_cast<std::size_t>(t)] = value;
      });
    }
    go.store(true);
    for (auto& th : threads) th.join();
    EXPECT_EQ(fills.load(), 1);
    for (int v : seen) EXPECT_EQ(v, 42);
    EXPECT_TRUE(gate.Done());
  }
}

TEST(CpuFeatures, ProbeIsStableAndConsistent) {
  const std::uint32_t flags = CpuFeatureFlags();
  EXPECT_EQ(CpuFeatureFlags(), flags);
  EXPECT_EQ(ProbeCpuFeatures(), ProbedCpuFeatureFlags());
#if defined(__x86_64__)
  EXPECT_EQ(flags & (kCpuMmx | kCpuSse | kCpuSse2), kCpuMmx | kCpuSse | kCpuSse2);
#endif
  // Each wider set is only ever reported on top of the narrower ones.
  if (flags & kCpuAvx2) {
    EXPECT_TRUE(flags & kCpuSse2);
  }
  if (flags & kCpuAvx512) {
    EXPECT_TRUE(flags & kCpuAvx2);
  }
  if (flags & kCpuAvx512Vbmi) {
    EXPECT_TRUE(flags & kCpuAvx512);
  }
}

TEST(CpuFeatures, TestSeamPinsAndRestoresTheFlags) {
  const std::uint32_t probed = CpuFeatureFlags();
  SetCpuFeatureFlagsForTest(0);
  EXPECT_EQ(CpuFeatureFlags(), 0u);
  EXPECT_EQ(ProbedCpuFeatureFlags(), probed);  // the hardware view stays
  RestoreCpuFeatureFlagsForTest();
  EXPECT_EQ(CpuFeatureFlags(), probed);
}

}  // namespace
}  // namespace morvex
