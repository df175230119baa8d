#include "frame/dispatch.h"

namespace morvex {

const char* InstructionSetName(InstructionSet set) {
  switch (set) {
    case InstructionSet::kScalar: return "scalar";
    case InstructionSet::kSse2: return "sse2";
    case InstructionSet::kAvx2: return "avx2";
    case InstructionSet::kAvx512: return "avx512";
    case InstructionSet::kAvx512Vbmi: return "avx512vbmi";
  }
  return "?";
}

std::uint32_t RequiredFeatures(InstructionSet set) {
  switch (set) {
    case InstructionSet::kScalar: return 0;
    case InstructionSet::kSse2: return kCpuSse2;
    case InstructionSet::kAvx2: return kCpuSse2 | kCpuAvx2;
    case InstructionSet::kAvx512: return kCpuSse2 | kCpuAvx2 | kCpuAvx512;
    case InstructionSet::kAvx512Vbmi: return kCpuSse2 | kCpuAvx2 | kCpuAvx512 | kCpuAvx512Vbmi;
  }
  return 0;
}

InstructionSet WidestInstructionSet(std::uint32_t flags) {
  InstructionSet widest = InstructionSet::kScalar;
  for (InstructionSet set : kInstructionSets)
    if (HasCpu(flags, RequiredFeatures(set))) widest = set;
  return widest;
}

std::uint32_t FeaturesUpTo(InstructionSet set, std::uint32_t flags) {
  // Without SSE2 nothing is left (the documented MMX and SSE bits choose no
  // kernel); otherwise the documented bits and those of the levels up to `set`.
  if (set == InstructionSet::kScalar) return 0;
  return flags & (kCpuMmx | kCpuSse | RequiredFeatures(set));
}

}  // namespace morvex
