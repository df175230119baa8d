// The one way an operation chooses its kernels: a table with one static
// instance of the operation's kernel record per instruction set, and one
// helper that picks the widest entry the processor flags allow.
//
// A family declares a record of row-kernel pointers (say BlendKernels),
// defines one constant of it per instruction set (the scalar one in the
// family's own .cpp, the vector ones in its *_sse2.cpp, *_avx2.cpp,
// *_avx512.cpp files, each a one-line instantiation of a kernel template
// written over frame/simd) and one KernelTable listing them. The export-side
// routine calls table.For(CpuFeatureFlags()) once per call. Tests, the
// benchmarks and `morvex paths` walk the same tables.
#pragma once

#include <cstdint>

#include "frame/cpu_features.h"

namespace morvex {

// The kernel levels, narrowest first. Each level needs the flags of every
// level below it as well.
enum class InstructionSet : std::uint8_t {
  kScalar,
  kSse2,
  kAvx2,
  kAvx512,
  kAvx512Vbmi,
};
inline constexpr int kInstructionSetCount = 5;

inline constexpr InstructionSet kInstructionSets[kInstructionSetCount] = {
    InstructionSet::kScalar, InstructionSet::kSse2, InstructionSet::kAvx2,
    InstructionSet::kAvx512, InstructionSet::kAvx512Vbmi};

// The widest level this build holds kernels for. The 32-bit x86 build stops
// at AVX2, the widest level the tests of the 32-bit DLL are sure to run: where
// 32-bit programs run only under an emulator, AVX-512 cannot run at all
// (docs/windows.md). The build leaves out the files of wider levels, tables
// drop their entries and the probe reports none of their features, so no
// wider level is ever chosen, reported or counted as tested.
#if defined(__i386__)
inline constexpr InstructionSet kWidestBuiltInstructionSet = InstructionSet::kAvx2;
#else
inline constexpr InstructionSet kWidestBuiltInstructionSet = InstructionSet::kAvx512Vbmi;
#endif

// "scalar", "sse2", "avx2", "avx512", "avx512vbmi".
const char* InstructionSetName(InstructionSet set);

// Every CpuFeatureFlags bit a level needs (its own and the narrower levels').
std::uint32_t RequiredFeatures(InstructionSet set);

// The widest level whose required features are all in `flags`.
InstructionSet WidestInstructionSet(std::uint32_t flags);

// The flags of a processor limited to `set`: `flags` without the bits of
// every wider level (for tests and benchmarks that pin a path); 0 for the
// scalar level.
std::uint32_t FeaturesUpTo(InstructionSet set, std::uint32_t flags);

// The untyped part of a kernel table, for code that only reports choices.
class KernelTableBase {
 public:
  constexpr KernelTableBase(const char* name, const void* scalar, const void* sse2,
                            const void* avx2, const void* avx512, const void* avx512vbmi)
      : name_(name),
        entries_{scalar, Built(InstructionSet::kSse2, sse2), Built(InstructionSet::kAvx2, avx2),
                 Built(InstructionSet::kAvx512, avx512),
                 Built(InstructionSet::kAvx512Vbmi, avx512vbmi)} {}

  const char* name() const { return name_; }
  // Whether the table holds kernels of its own for `set`.
  bool Has(InstructionSet set) const { return entries_[static_cast<int>(set)] != nullptr; }
  // The level whose kernels For(flags) returns: the widest entry the flags
  // allow. The scalar entry is always present.
  InstructionSet Chosen(std::uint32_t flags) const {
    int level = static_cast<int>(WidestInstructionSet(flags));
    while (level > 0 && entries_[level] == nullptr) --level;
    return static_cast<InstructionSet>(level);
  }

 protected:
  const void* Entry(InstructionSet set) const { return entries_[static_cast<int>(set)]; }

 private:
  // An entry of a level wider than the build's is left out, so the table
  // refers to no kernel the build does not compile.
  static constexpr const void* Built(InstructionSet set, const void* entry) {
    return set <= kWidestBuiltInstructionSet ? entry : nullptr;
  }

  const char* name_;
  const void* entries_[kInstructionSetCount] = {};
};

// Entries in level order: scalar, sse2, avx2, avx512, avx512vbmi; trailing
// levels may be left out and any vector level may be null (it then falls
// back to the next narrower entry).
template <class Kernels>
class KernelTable : public KernelTableBase {
 public:
  constexpr KernelTable(const char* name, const Kernels* scalar, const Kernels* sse2 = nullptr,
                        const Kernels* avx2 = nullptr, const Kernels* avx512 = nullptr,
                        const Kernels* avx512vbmi = nullptr)
      : KernelTableBase(name, scalar, sse2, avx2, avx512, avx512vbmi) {}

  const Kernels& For(std::uint32_t flags) const {
    return *static_cast<const Kernels*>(Entry(Chosen(flags)));
  }
  // The entry of exactly `set`, or null.
  const Kernels* At(InstructionSet set) const {
    return static_cast<const Kernels*>(Entry(set));
  }
};

}  // namespace morvex
