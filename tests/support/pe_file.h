// A reader for the parts of a PE image file (a Windows DLL) the tests check:
// the export directory, the imported DLL names and the COFF symbol table.
// Plain byte parsing, so it works on any host.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace morvex::test {

struct PeExport {
  std::string name;
  std::uint32_t ordinal;  // biased: the number a host passes to GetProcAddress
  std::uint32_t rva;
};

class PeFile {
 public:
  // Reads and parses the file; ok() is false when it is not a PE image.
  explicit PeFile(const std::string& path);

  bool ok() const { return ok_; }
  bool is32Bit() const { return machine_ == 0x14C; }  // i386
  bool is64Bit() const { return machine_ == 0x8664; }  // x86-64
  // The name recorded in the export directory, e.g. "Morvex.Native.dll".
  const std::string& exportDllName() const { return exportDllName_; }
  std::uint32_t ordinalBase() const { return ordinalBase_; }
  std::uint32_t functionCount() const { return functionCount_; }
  // Named exports in the order of the export name table.
  const std::vector<PeExport>& exports() const { return exports_; }
  // Names of the DLLs the image imports from.
  const std::vector<std::string>& imports() const { return imports_; }
  // RVA of a symbol of the COFF symbol table (its name as the linker sees
  // it, with the leading underscore of 32-bit x86), if the image keeps one.
  std::optional<std::uint32_t> SymbolRva(const std::string& symbol) const;

 private:
  struct Section {
    std::uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
  };
  std::optional<std::size_t> RvaToOffset(std::uint32_t rva) const;
  std::uint32_t U32(std::size_t offset) const;
  std::uint16_t U16(std::size_t offset) const;
  std::string CString(std::size_t offset) const;
  void ReadExports(std::uint32_t rva);
  void ReadImports(std::uint32_t rva);

  std::vector<std::uint8_t> bytes_;
  bool ok_ = false;
  std::uint16_t machine_ = 0;
  std::vector<Section> sections_;
  std::uint32_t symbolTable_ = 0, symbolCount_ = 0;
  std::string exportDllName_;
  std::uint32_t ordinalBase_ = 0, functionCount_ = 0;
  std::vector<PeExport> exports_;
  std::vector<std::string> imports_;
};

}  // namespace morvex::test
