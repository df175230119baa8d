// The processor feature probe.
#pragma once

#include <cstdint>

namespace morvex {

// Bits of CpuFeatureFlags. The first three are the library's documented
// flags; the rest only choose faster kernels that give the same bits.
enum CpuFeature : std::uint32_t {
  kCpuMmx = 0x1,
  kCpuSse = 0x2,
  kCpuSse2 = 0x4,
  kCpuAvx2 = 0x400,  // AVX2 with the YMM state enabled by the operating system
  // AVX-512 F, BW, DQ and VL with the ZMM state enabled by the operating system.
  kCpuAvx512 = 0x800,
  // AVX-512 VBMI (byte permutes), only together with kCpuAvx512.
  kCpuAvx512Vbmi = 0x1000,
};

// The process-wide feature flags, probed once on first use (race-free).
std::uint32_t CpuFeatureFlags();

// The flags of the processor itself (up to the widest level the build holds
// kernels for), ignoring the test seam. The
// floating-point frame uses these: the library's scalar paths still execute
// SSE conversions, so MXCSR is managed whenever the hardware has it.
std::uint32_t ProbedCpuFeatureFlags();

// Runs the probe itself (CPUID and the execution tests), bypassing the cache;
// the features of levels wider than the build's are left out.
std::uint32_t ProbeCpuFeatures();

// Test seam, not exported: pins the flags every later call sees, so one test
// process can run each operation on every path. RestoreCpuFeatureFlagsForTest
// returns to the probed flags.
void SetCpuFeatureFlagsForTest(std::uint32_t flags);
void RestoreCpuFeatureFlagsForTest();

inline bool HasCpu(std::uint32_t flags, std::uint32_t feature) { return (flags & feature) == feature; }

}  // namespace morvex
