// Shared helpers of the tone tests: direct kernel access, and pixel
// arithmetic written out independently.
#pragma once

#include <cstdint>
#include <vector>

#include "frame/cpu_features.h"
#include "support/cpu_paths.h"

namespace morvex::test {

// A vector row kernel, for tests that call kernels directly.
template <class Kernel>
struct VectorKernel {
  const char* name;
  Kernel run;
};

// The SSE2, AVX2 and (where the family has one) AVX-512 kernels of one
// family that this processor can run.
template <class Kernel>
std::vector<VectorKernel<Kernel>> RunnableKernels(Kernel sse2, Kernel avx2, Kernel avx512 = nullptr) {
  const std::uint32_t probed = ProbedCpuFeatureFlags();
  std::vector<VectorKernel<Kernel>> kernels;
  if (HasCpu(probed, kCpuSse2)) kernels.push_back({"sse2", sse2});
  if (HasCpu(probed, kCpuAvx2)) kernels.push_back({"avx2", avx2});
  if (avx512 != nullptr && HasCpu(probed, kCpuAvx512)) kernels.push_back({"avx512", avx512});
  return kernels;
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
