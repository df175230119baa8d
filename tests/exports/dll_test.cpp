// Morvex.Native.dll as a Windows host sees it: the export directory read from
// the file, binding by name and by ordinal, its imports, load behaviour, and
// (32-bit) calls made on a stack with only the 4-byte alignment 32-bit
// callers promise.
#include <gtest/gtest.h>

#if defined(_WIN32)

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "exports/export_table.h"
#include "frame/dispatch.h"
#include "frame/cpu_features.h"
#include "morvex/native.h"
#include "support/dll_forward.h"
#include "support/fp_state.h"
#include "support/pe_file.h"
#include "support/test_plane.h"

namespace morvex {
namespace {

using exports::kExportTable;
using test::PeFile;

std::map<std::string, std::uint32_t> TableOrdinals() {
  std::map<std::string, std::uint32_t> ordinals;
  for (const auto& e : kExportTable) ordinals[e.name] = static_cast<std::uint32_t>(e.ordinal);
  return ordinals;
}

TEST(Dll, ExportDirectoryHoldsExactlyTheTableNamesAtTheirOrdinals) {
  const PeFile file(test::DllPath());
  ASSERT_TRUE(file.ok()) << test::DllPath();
  // The DLL's machine is the program's: i386 or x86-64.
  EXPECT_EQ(file.is32Bit(), sizeof(void*) == 4);
  EXPECT_EQ(file.is64Bit(), sizeof(void*) == 8);
  EXPECT_EQ(file.exportDllName(), "Morvex.Native.dll");
  EXPECT_EQ(file.ordinalBase(), 1u);
  std::map<std::string, std::uint32_t> named;
  for (const auto& e : file.exports()) named[e.name] = e.ordinal;
  EXPECT_EQ(named, TableOrdinals());
  // No exports beyond the table's 35 ordinals, named or not.
  EXPECT_LE(file.functionCount(), 35u);
  // The name table is sorted byte-wise, as the loader's binary search needs.
  for (std::size_t i = 1; i < file.exports().size(); ++i)
    EXPECT_LT(file.exports()[i - 1].name, file.exports()[i].name);
}

TEST(Dll, EveryNameBindsByNameAndByOrdinal) {
  const auto module = static_cast<HMODULE>(test::DllModule());
  for (const auto& e : kExportTable) {
    const FARPROC byName = GetProcAddress(module, e.name);
    ASSERT_NE(byName, nullptr) << e.name;
    const FARPROC byOrdinal =
        GetProcAddress(module, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(e.ordinal)));
    EXPECT_EQ(byOrdinal, byName) << e.name;
  }
  // Names are undecorated cdecl: no leading underscore, no @size suffix.
  EXPECT_EQ(GetProcAddress(module, "_BitmapCopy"), nullptr);
  EXPECT_EQ(GetProcAddress(module, "BitmapCopy@28"), nullptr);
}

TEST(Dll, ImportsOnlySystemLibraries) {
  const PeFile file(test::DllPath());
  ASSERT_TRUE(file.ok());
  const std::set<std::string> system = {"kernel32.dll", "msvcrt.dll", "ntdll.dll", "user32.dll",
                                        "advapi32.dll"};
  EXPECT_FALSE(file.imports().empty());
  for (std::string name : file.imports()) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    EXPECT_TRUE(system.count(name)) << "imports " << name;
  }
}

TEST(Dll, SymbolTableLocatesTheExportedFunctions) {
  // The test programs reach the DLL's processor-path seam through the file's
  // symbol table; the exported functions prove the lookup right.
  const PeFile file(test::DllPath());
  ASSERT_FALSE(file.exports().empty());
  for (const auto& e : file.exports()) {
    const auto rva = file.SymbolRva(test::DllSymbolName(e.name));
    ASSERT_TRUE(rva.has_value()) << e.name;
    EXPECT_EQ(*rva, e.rva) << e.name;
  }
  EXPECT_NE(test::DllInternalFunction("_ZN6morvex25SetCpuFeatureFlagsForTestEj"), nullptr);
}

DWORD WINAPI DoNothing(LPVOID) { return 0; }

TEST(Dll, ProcessorPathSeamReachesTheDll) {
  using Flags = std::uint32_t (*)();
  const auto dllFlags =
      reinterpret_cast<Flags>(test::DllInternalFunction("_ZN6morvex15CpuFeatureFlagsEv"));
  ASSERT_NE(dllFlags, nullptr);
  const std::uint32_t probed = ProbedCpuFeatureFlags();
  EXPECT_EQ(dllFlags(), probed);
  for (std::uint32_t flags : {0u, FeaturesUpTo(InstructionSet::kSse2, probed)}) {
    SetCpuFeatureFlagsForTest(flags);
    EXPECT_EQ(dllFlags(), flags);
    EXPECT_EQ(CpuFeatureFlags(), flags);
    RestoreCpuFeatureFlagsForTest();
    EXPECT_EQ(dllFlags(), probed);
  }
}

TEST(Dll, LoadingAndUnloadingLeaveTheFloatingPointStateAlone) {
  // A second copy under another name runs the whole load path afresh.
  char directory[MAX_PATH], copy[MAX_PATH];
  ASSERT_NE(GetTempPathA(MAX_PATH, directory), 0u);
  ASSERT_NE(GetTempFileNameA(directory, "mvx", 0, copy), 0u);
  ASSERT_TRUE(CopyFileA(test::DllPath(), copy, FALSE));
  test::FpStateGuard guard;
  ControlFloatingPoint(kFpRoundDown | kFpPrecision24 | kFpFlushResults,
                       kFpRoundingField | kFpPrecisionField | kFpDenormalField);
  const auto before = test::ReadFpState();
  const HMODULE module = LoadLibraryA(copy);
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(test::ReadFpState(), before);
  // A thread started while the library is loaded passes through its entry
  // routine too.
  const HANDLE thread = CreateThread(nullptr, 0, &DoNothing, nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  EXPECT_NE(GetProcAddress(module, "FPU_Control"), nullptr);
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(test::ReadFpState(), before);
  DeleteFileA(copy);
}

#if defined(__i386__)
TEST(DllStack, CallsRotateThroughEveryFourByteAlignment) {
  std::set<std::uint32_t> offsets;
  for (int i = 0; i < 4; ++i) {
    FPU_Status();
    offsets.insert(test::LastForwardedStackOffset());
  }
  EXPECT_EQ(offsets, (std::set<std::uint32_t>{0, 4, 8, 12}));
}

TEST(DllStack, ResultsDoNotDependOnTheCallersAlignment) {
  // One forwarded call per round, so each export meets all four alignments.
  test::FpStateGuard guard;
  test::Rng rng(8);
  test::TestPlane src(4 * 37, 5, 3, true);
  src.FillRandom(rng);
  std::set<std::uint32_t> offsets;
  for (int i = 0; i < 4; ++i) {
    test::TestPlane dst(4 * 37, 5, 1);
    dst.Fill(0);
    EXPECT_EQ(BitmapCopy(dst.first(), dst.stride(), src.first(), src.stride(), 4, 37, 5), 1);
    offsets.insert(test::LastForwardedStackOffset());
    EXPECT_EQ(dst.RowBytes(), src.RowBytes()) << i;
    EXPECT_TRUE(dst.GuardsIntact());
  }
  EXPECT_EQ(offsets.size(), 4u);
  const std::uint32_t word = FPU_Control(kFpRoundUp, kFpRoundingField);
  EXPECT_EQ(word & kFpRoundingField, kFpRoundUp);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(FPU_Control(0, 0), word) << i;
}
#endif

}  // namespace
}  // namespace morvex

#endif
