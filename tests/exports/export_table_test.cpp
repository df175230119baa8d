// The shared library's dynamic symbol table against the ordered export table.
// (The Windows DLL's export directory is checked in dll_test.cpp.)
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <dlfcn.h>
#include <elf.h>
#endif

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "exports/export_table.h"

namespace morvex {
namespace {

using exports::kExportCount;
using exports::kExportTable;

#if !defined(_WIN32)
std::vector<char> ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Names of the symbols the ELF file defines in its dynamic symbol table.
template <class Ehdr, class Shdr, class Sym>
std::set<std::string> DefinedDynamicSymbols(const std::vector<char>& file) {
  std::set<std::string> names;
  const auto* eh = reinterpret_cast<const Ehdr*>(file.data());
  const auto* sections = reinterpret_cast<const Shdr*>(file.data() + eh->e_shoff);
  for (int i = 0; i < eh->e_shnum; ++i) {
    if (sections[i].sh_type != SHT_DYNSYM) continue;
    const Shdr& strtab = sections[sections[i].sh_link];
    const char* strings = file.data() + strtab.sh_offset;
    const auto* syms = reinterpret_cast<const Sym*>(file.data() + sections[i].sh_offset);
    const std::size_t count = sections[i].sh_size / sizeof(Sym);
    for (std::size_t k = 1; k < count; ++k) {
      if (syms[k].st_shndx == SHN_UNDEF) continue;
      names.insert(strings + syms[k].st_name);
    }
  }
  return names;
}


std::set<std::string> TableNames() {
  std::set<std::string> names;
  for (const auto& e : kExportTable) names.insert(e.name);
  return names;
}
#endif

TEST(ExportTable, ListsTheThirtyFiveNamesInOrdinalAndByteWiseOrder) {
  ASSERT_EQ(kExportCount, 35u);
  for (std::size_t i = 0; i < kExportCount; ++i) {
    EXPECT_EQ(kExportTable[i].ordinal, static_cast<int>(i) + 1);
    if (i > 0) {
      EXPECT_LT(std::strcmp(kExportTable[i - 1].name, kExportTable[i].name), 0)
          << kExportTable[i].name;
    }
  }
  EXPECT_STREQ(kExportTable[0].name, "BitmapCopy");
  EXPECT_STREQ(kExportTable[15].name, "FPU_Control");
  EXPECT_STREQ(kExportTable[18].name, "FocusPrep");  // upper-case runs sort first
  EXPECT_STREQ(kExportTable[34].name, "Shear");
}

#if !defined(_WIN32)
TEST(ExportTable, SharedLibraryExportsExactlyTheTableNames) {
  const std::vector<char> file = ReadFile(MORVEX_SO_PATH);
  ASSERT_GT(file.size(), static_cast<std::size_t>(EI_NIDENT)) << MORVEX_SO_PATH;
  ASSERT_EQ(std::memcmp(file.data(), ELFMAG, SELFMAG), 0);
  const std::set<std::string> defined =
      file[EI_CLASS] == ELFCLASS64 ? DefinedDynamicSymbols<Elf64_Ehdr, Elf64_Shdr, Elf64_Sym>(file)
                                   : DefinedDynamicSymbols<Elf32_Ehdr, Elf32_Shdr, Elf32_Sym>(file);
  EXPECT_EQ(defined, TableNames());
}

TEST(ExportTable, EveryNameResolvesAfterLoading) {
  void* library = dlopen(MORVEX_SO_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  for (const auto& e : kExportTable) {
    void* symbol = dlsym(library, e.name);
    EXPECT_NE(symbol, nullptr) << e.name;
  }
  dlclose(library);
}
#endif

}  // namespace
}  // namespace morvex
