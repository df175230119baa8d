#include "support/cpu_paths.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#if defined(_WIN32)
#include <process.h>
#define MORVEX_PROCESS_ID _getpid
#else
#include <unistd.h>
#define MORVEX_PROCESS_ID getpid
#endif

namespace morvex::test {
namespace {

std::atomic<std::uint32_t> g_run{0};  // bit per level
std::mutex g_fileMutex;
std::string g_fileName;  // chosen on the first note, under the mutex

}  // namespace

void NoteCpuPathRun(InstructionSet level) {
  const std::uint32_t bit = 1u << static_cast<int>(level);
  const std::uint32_t before = g_run.fetch_or(bit, std::memory_order_relaxed);
  const char* dir = std::getenv("MORVEX_PATH_LOG");
  if ((before & bit) != 0 || dir == nullptr || *dir == '\0') return;
  // The whole file again, so it always lists every level run so far.
  const std::lock_guard<std::mutex> lock(g_fileMutex);
  // Process ids alone repeat under Wine; the start time tells runs apart.
  if (g_fileName.empty())
    g_fileName = std::string(dir) + "/paths-" + std::to_string(MORVEX_PROCESS_ID()) + "-" +
                 std::to_string(std::chrono::system_clock::now().time_since_epoch().count());
  std::FILE* file = std::fopen(g_fileName.c_str(), "wb");  // no CRLF on Windows
  if (file == nullptr) return;
  const std::uint32_t run = g_run.load(std::memory_order_relaxed);
  for (InstructionSet set : kInstructionSets) {
    if (run & (1u << static_cast<int>(set))) std::fprintf(file, "ran %s\n", InstructionSetName(set));
    if (set <= kWidestBuiltInstructionSet) std::fprintf(file, "built %s\n", InstructionSetName(set));
  }
  std::fclose(file);
}

}  // namespace morvex::test
