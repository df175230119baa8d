#include "exports/kernel_report.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "exports/export_table.h"
#include "frame/cpu_features.h"

namespace morvex::exports {
namespace {

TEST(KernelReport, NamesEveryExportInTableOrder) {
  ASSERT_EQ(ExportKernelTableCount(), kExportCount);
  for (std::size_t i = 0; i < kExportCount; ++i)
    EXPECT_STREQ(ExportKernelTables()[i].exportName, kExportTable[i].name);
}

TEST(KernelReport, EveryTableHasAScalarEntryAndChoosesALevelTheProcessorHas) {
  const std::uint32_t probed = ProbedCpuFeatureFlags();
  std::set<std::string> names;
  for (std::size_t i = 0; i < ExportKernelTableCount(); ++i) {
    for (const KernelTableBase* table : ExportKernelTables()[i].tables) {
      if (table == nullptr) continue;
      names.insert(table->name());
      EXPECT_TRUE(table->Has(InstructionSet::kScalar)) << table->name();
      const InstructionSet chosen = table->Chosen(probed);
      EXPECT_TRUE(table->Has(chosen)) << table->name();
      EXPECT_TRUE(HasCpu(probed, RequiredFeatures(chosen))) << table->name();
      EXPECT_EQ(table->Chosen(0), InstructionSet::kScalar) << table->name();
    }
  }
  // Table names are what a person reads in `morvex paths`: no two alike
  // unless they are the same table.
  std::size_t distinct = 0;
  std::set<const KernelTableBase*> tables;
  for (std::size_t i = 0; i < ExportKernelTableCount(); ++i)
    for (const KernelTableBase* table : ExportKernelTables()[i].tables)
      if (table != nullptr && tables.insert(table).second) ++distinct;
  EXPECT_EQ(names.size(), distinct);
}

}  // namespace
}  // namespace morvex::exports
