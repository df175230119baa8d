// paths (and --version): the library version, the processor features found
// and the kernel each export chooses on this processor. The tool is built on
// the static library alone, so these are the tables of the very copy whose
// kernels its calls run, asked through the same KernelTable::Chosen and
// CpuFeatureFlags that every export's dispatch uses: whatever limits the
// dispatch (a cap on a build's widest level, say) shows here as it is.
#include <cstdio>
#include <string>

#include "commands/commands.h"
#include "exports/kernel_report.h"
#include "frame/cpu_features.h"
#include "frame/dispatch.h"

namespace morvex::cli {
namespace {

std::string FeatureNames(std::uint32_t flags) {
  struct Name {
    std::uint32_t bit;
    const char* name;
  };
  const Name names[] = {{kCpuMmx, "mmx"},   {kCpuSse, "sse"},       {kCpuSse2, "sse2"},
                        {kCpuAvx2, "avx2"}, {kCpuAvx512, "avx512"}, {kCpuAvx512Vbmi, "avx512vbmi"}};
  std::string text;
  for (const Name& n : names)
    if (flags & n.bit) text += (text.empty() ? "" : " ") + std::string(n.name);
  return text.empty() ? "none" : text;
}

int RunPaths(const Args&) {
  const std::uint32_t flags = CpuFeatureFlags();
  std::printf("Morvex.Native %s\n", MORVEX_VERSION);
  std::printf("processor features: %s\n", FeatureNames(flags).c_str());
  std::printf("widest kernel level: %s\n\n", InstructionSetName(WidestInstructionSet(flags)));
  const exports::ExportKernels* entries = exports::ExportKernelTables();
  for (std::size_t i = 0; i < exports::ExportKernelTableCount(); ++i) {
    std::string chosen;
    for (const KernelTableBase* table : entries[i].tables) {
      if (table == nullptr) continue;
      if (!chosen.empty()) chosen += ", ";
      chosen += std::string(table->name()) + ": " + InstructionSetName(table->Chosen(flags));
    }
    std::printf("  %-26s %s\n", entries[i].exportName,
                chosen.empty() ? "scalar (no vector kernels)" : chosen.c_str());
  }
  return 0;
}

}  // namespace

void AddPathsCommand(std::vector<Command>& commands) {
  Command paths;
  paths.name = "paths";
  paths.summary = "library version, processor features and the kernel each export takes";
  paths.notes =
      "Each export lists the kernel tables it chooses from and, for each, the\n"
      "instruction-set level whose kernels run on this processor.\n";
  paths.run = &RunPaths;
  commands.push_back(paths);
}

}  // namespace morvex::cli
