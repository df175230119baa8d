// Which kernel tables each export chooses from, for reporting the path every
// export takes on this processor (`morvex paths`, tests). Not exported.
#pragma once

#include <cstddef>

#include "frame/dispatch.h"

namespace morvex::exports {

inline constexpr int kMaxTablesPerExport = 3;

struct ExportKernels {
  const char* exportName;
  // The tables the export's routine picks its kernels from, null-padded;
  // none for an export without vector kernels.
  const KernelTableBase* tables[kMaxTablesPerExport];
};

// One entry per export, in the export table's order.
const ExportKernels* ExportKernelTables();
std::size_t ExportKernelTableCount();

}  // namespace morvex::exports
