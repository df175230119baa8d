#include "frame/dispatch.h"

#include <gtest/gtest.h>

namespace morvex {
namespace {

struct Kernels {
  int id;
};
constexpr Kernels kScalar{0}, kSse2{1}, kAvx2{2}, kAvx512{3}, kAvx512Vbmi{4};
constexpr KernelTable<Kernels> kTable("test", &kScalar, &kSse2, nullptr, &kAvx512);
constexpr KernelTable<Kernels> kFullTable("full", &kScalar, &kSse2, &kAvx2, &kAvx512,
                                          &kAvx512Vbmi);

constexpr std::uint32_t kAll = kCpuMmx | kCpuSse | kCpuSse2 | kCpuAvx2 | kCpuAvx512 | kCpuAvx512Vbmi;

TEST(Dispatch, WidestLevelNeedsEveryNarrowerLevel) {
  struct Case {
    std::uint32_t flags;
    InstructionSet widest;
  };
  const Case cases[] = {
      {0, InstructionSet::kScalar},
      {kCpuMmx | kCpuSse, InstructionSet::kScalar},
      {kCpuSse2, InstructionSet::kSse2},
      {kCpuAvx2, InstructionSet::kScalar},  // AVX2 without SSE2 is no level
      {kCpuSse2 | kCpuAvx2, InstructionSet::kAvx2},
      {kCpuSse2 | kCpuAvx512, InstructionSet::kSse2},
      {kCpuSse2 | kCpuAvx2 | kCpuAvx512, InstructionSet::kAvx512},
      {kCpuSse2 | kCpuAvx2 | kCpuAvx512Vbmi, InstructionSet::kAvx2},
      {kAll, InstructionSet::kAvx512Vbmi},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WidestInstructionSet(c.flags), c.widest) << std::hex << c.flags;
}

TEST(Dispatch, FeaturesUpToLimitsTheProcessorToOneLevel) {
  for (InstructionSet set : kInstructionSets) {
    const std::uint32_t limited = FeaturesUpTo(set, kAll);
    EXPECT_EQ(WidestInstructionSet(limited), set) << InstructionSetName(set);
    EXPECT_EQ(limited & ~kAll, 0u);
  }
  EXPECT_EQ(FeaturesUpTo(InstructionSet::kScalar, kAll), 0u);
  EXPECT_EQ(FeaturesUpTo(InstructionSet::kSse2, kAll), kCpuMmx | kCpuSse | kCpuSse2);
  // Limiting never adds a feature the processor lacks.
  EXPECT_EQ(FeaturesUpTo(InstructionSet::kAvx512Vbmi, kCpuSse2), kCpuSse2);
}

TEST(Dispatch, TableFallsBackToTheNextNarrowerEntry) {
  // The 32-bit build holds no level above AVX2: its tables drop the wider
  // entries, so every processor takes at most the AVX2 (here SSE2) kernels.
  const bool wide = kWidestBuiltInstructionSet == InstructionSet::kAvx512Vbmi;
  ASSERT_TRUE(wide || kWidestBuiltInstructionSet == InstructionSet::kAvx2);
  struct Case {
    InstructionSet processor;
    int id;
    InstructionSet chosen;
  };
  const Case cases[] = {
      {InstructionSet::kScalar, 0, InstructionSet::kScalar},
      {InstructionSet::kSse2, 1, InstructionSet::kSse2},
      {InstructionSet::kAvx2, 1, InstructionSet::kSse2},  // no AVX2 entry
      {InstructionSet::kAvx512, wide ? 3 : 1, wide ? InstructionSet::kAvx512 : InstructionSet::kSse2},
      {InstructionSet::kAvx512Vbmi, wide ? 3 : 1,  // left out
       wide ? InstructionSet::kAvx512 : InstructionSet::kSse2},
  };
  for (const Case& c : cases) {
    const std::uint32_t flags = FeaturesUpTo(c.processor, kAll);
    EXPECT_EQ(kTable.For(flags).id, c.id) << InstructionSetName(c.processor);
    EXPECT_EQ(kTable.Chosen(flags), c.chosen) << InstructionSetName(c.processor);
  }
  EXPECT_EQ(kTable.Has(InstructionSet::kAvx512), wide);
  EXPECT_FALSE(kTable.Has(InstructionSet::kAvx2));
  EXPECT_EQ(kTable.At(InstructionSet::kAvx2), nullptr);
  EXPECT_STREQ(kTable.name(), "test");
}

TEST(Dispatch, NoLevelWiderThanTheBuildsIsChosenOrProbed) {
  EXPECT_EQ(kFullTable.Chosen(kAll), kWidestBuiltInstructionSet);
  EXPECT_EQ(kFullTable.For(kAll).id, static_cast<int>(kWidestBuiltInstructionSet));
  for (InstructionSet set : kInstructionSets)
    EXPECT_EQ(kFullTable.Has(set), set <= kWidestBuiltInstructionSet) << InstructionSetName(set);
  EXPECT_LE(WidestInstructionSet(ProbedCpuFeatureFlags()), kWidestBuiltInstructionSet);
}

}  // namespace
}  // namespace morvex
