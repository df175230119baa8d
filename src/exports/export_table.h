// The ordered export table, as data the tests and tools can inspect.
#pragma once

#include <cstddef>
#include <cstdint>

namespace morvex::exports {

struct ExportEntry {
  int ordinal;
  const char* name;
};

inline constexpr ExportEntry kExportTable[] = {
#define MORVEX_EXPORT_ENTRY(ordinal, name) {ordinal, #name},
#include "exports/export_table.inc"
#undef MORVEX_EXPORT_ENTRY
};

inline constexpr std::size_t kExportCount = sizeof(kExportTable) / sizeof(kExportTable[0]);

}  // namespace morvex::exports
