// Shared helpers of the tone tests: direct kernel access, and pixel
// arithmetic written out independently.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "frame/dispatch.h"
#include "support/cpu_paths.h"

namespace morvex::test {

// The entries of a kernel table that this processor can run, scalar
// included, each with its path: kernel tests compare every one of them with
// the scalar definition.
template <class Kernels>
std::vector<std::pair<CpuPath, const Kernels*>> TableEntries(const KernelTable<Kernels>& table) {
  std::vector<std::pair<CpuPath, const Kernels*>> entries;
  for (const CpuPath& path : CpuPathsOf(table)) entries.emplace_back(path, table.At(path.level));
  return entries;
}

constexpr std::uint32_t Argb(std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return (a << 24) | (r << 16) | (g << 8) | b;
}

// BT.601 luma in 1/65536 units, rounded half up: the integer formula, in
// 64 bits so it cannot share an overflow with the code under test.
inline std::uint32_t ExpectedLuma(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return static_cast<std::uint32_t>((19595ll * r + 38469ll * g + 7472ll * b + 32768) >> 16);
}

}  // namespace morvex::test
