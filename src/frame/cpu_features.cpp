#include "frame/cpu_features.h"

#include <atomic>

#include "frame/diagnostics.h"
#include "frame/dispatch.h"
#include "frame/once.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#define MORVEX_X86 1
#endif
#if defined(_WIN32)
#include <windows.h>
#endif

namespace morvex {
namespace {

OnceGate g_probeGate;
std::atomic<std::uint32_t> g_probedFlags{0};  // written once, under the gate
std::atomic<std::uint32_t> g_activeFlags{0};  // what callers see

#if MORVEX_X86
std::uint64_t ReadXcr0() {
  std::uint32_t eax, edx;
  __asm__ volatile("xgetbv" : "=a"(eax), "=d"(edx) : "c"(0));
  return (static_cast<std::uint64_t>(edx) << 32) | eax;
}

// Whether the operating system has enabled the SSE state. On Windows the
// system's own query replaces an execution test under a fault guard; the x86
// Unix kernels enable it on every processor that reports SSE.
bool OsEnablesSse(bool sse2) {
#if defined(_WIN32)
  return IsProcessorFeaturePresent(sse2 ? PF_XMMI64_INSTRUCTIONS_AVAILABLE
                                        : PF_XMMI_INSTRUCTIONS_AVAILABLE) != 0;
#else
  (void)sse2;
  return true;
#endif
}
#endif

}  // namespace

std::uint32_t ProbeCpuFeatures() {
  std::uint32_t flags = 0;
#if MORVEX_X86
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  // __get_cpuid_max tests the EFLAGS ID bit on 32-bit processors, so a
  // processor without CPUID is detected without faulting.
  const unsigned maxLeaf = __get_cpuid_max(0, nullptr);
  if (maxLeaf == 0) {
    WriteDiagnostic("no support for cpuid");
    return 0;
  }
  __cpuid_count(1, 0, eax, ebx, ecx, edx);
  if (edx & (1u << 23)) flags |= kCpuMmx;
  if ((edx & (1u << 25)) && OsEnablesSse(false)) flags |= kCpuSse;
  if ((edx & (1u << 26)) && OsEnablesSse(true)) flags |= kCpuSse2;
  if (flags & kCpuSse2) {
    const bool osxsave = (ecx & (1u << 27)) != 0;
    const bool avx = (ecx & (1u << 28)) != 0;
    const std::uint64_t xcr0 = osxsave ? ReadXcr0() : 0;
    if (avx && (xcr0 & 0x6) == 0x6 && maxLeaf >= 7) {
      unsigned a7, b7, c7, d7;
      __cpuid_count(7, 0, a7, b7, c7, d7);
      if (b7 & (1u << 5)) flags |= kCpuAvx2;
      // F (16), DQ (17), BW (30), VL (31), and the opmask and ZMM state saved.
      const unsigned avx512 = (1u << 16) | (1u << 17) | (1u << 30) | (1u << 31);
      if ((flags & kCpuAvx2) && (b7 & avx512) == avx512 && (xcr0 & 0xE6) == 0xE6) {
        flags |= kCpuAvx512;
        if (c7 & (1u << 1)) flags |= kCpuAvx512Vbmi;
      }
    }
  }
#endif
  // Levels this build holds no kernels for are not reported (frame/dispatch.h).
  return FeaturesUpTo(kWidestBuiltInstructionSet, flags);
}

std::uint32_t CpuFeatureFlags() {
  g_probeGate.Run([] {
    const std::uint32_t flags = ProbeCpuFeatures();
    g_probedFlags.store(flags, std::memory_order_relaxed);
    g_activeFlags.store(flags, std::memory_order_relaxed);
  });
  return g_activeFlags.load(std::memory_order_relaxed);
}

std::uint32_t ProbedCpuFeatureFlags() {
  CpuFeatureFlags();
  return g_probedFlags.load(std::memory_order_relaxed);
}

void SetCpuFeatureFlagsForTest(std::uint32_t flags) {
  CpuFeatureFlags();
  g_activeFlags.store(flags, std::memory_order_relaxed);
}

void RestoreCpuFeatureFlagsForTest() {
  CpuFeatureFlags();
  g_activeFlags.store(g_probedFlags.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

}  // namespace morvex
