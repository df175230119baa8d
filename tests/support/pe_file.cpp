#include "support/pe_file.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace morvex::test {

PeFile::PeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (bytes_.size() < 0x40 || bytes_[0] != 'M' || bytes_[1] != 'Z') return;
  const std::size_t pe = U32(0x3C);
  if (pe + 24 > bytes_.size() || std::memcmp(&bytes_[pe], "PE\0\0", 4) != 0) return;
  machine_ = U16(pe + 4);
  const std::uint16_t sectionCount = U16(pe + 6);
  symbolTable_ = U32(pe + 12);
  symbolCount_ = U32(pe + 16);
  const std::size_t optional = pe + 24;
  const std::size_t optionalSize = U16(pe + 20);
  const bool pe32Plus = U16(optional) == 0x20B;
  const std::size_t directories = optional + (pe32Plus ? 112 : 96);
  const std::uint32_t directoryCount = U32(optional + (pe32Plus ? 108 : 92));
  const std::size_t sectionTable = optional + optionalSize;
  if (sectionTable + 40u * sectionCount > bytes_.size()) return;
  for (std::uint16_t i = 0; i < sectionCount; ++i) {
    const std::size_t s = sectionTable + 40u * i;
    sections_.push_back({U32(s + 12), U32(s + 8), U32(s + 20), U32(s + 16)});
  }
  ok_ = true;
  if (directoryCount > 0 && U32(directories) != 0) ReadExports(U32(directories));
  if (directoryCount > 1 && U32(directories + 8) != 0) ReadImports(U32(directories + 8));
}

std::uint32_t PeFile::U32(std::size_t offset) const {
  std::uint32_t v = 0;
  if (offset + 4 <= bytes_.size()) std::memcpy(&v, &bytes_[offset], 4);
  return v;
}

std::uint16_t PeFile::U16(std::size_t offset) const {
  std::uint16_t v = 0;
  if (offset + 2 <= bytes_.size()) std::memcpy(&v, &bytes_[offset], 2);
  return v;
}

std::string PeFile::CString(std::size_t offset) const {
  std::string s;
  while (offset < bytes_.size() && bytes_[offset] != 0) s.push_back(static_cast<char>(bytes_[offset++]));
  return s;
}

std::optional<std::size_t> PeFile::RvaToOffset(std::uint32_t rva) const {
  for (const Section& s : sections_) {
    const std::uint32_t extent = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
    if (rva >= s.virtualAddress && rva - s.virtualAddress < extent) {
      const std::uint32_t within = rva - s.virtualAddress;
      if (within >= s.rawSize) return std::nullopt;  // uninitialised data
      return static_cast<std::size_t>(s.rawOffset) + within;
    }
  }
  return std::nullopt;
}

void PeFile::ReadExports(std::uint32_t rva) {
  const auto dir = RvaToOffset(rva);
  if (!dir) return;
  if (const auto name = RvaToOffset(U32(*dir + 12))) exportDllName_ = CString(*name);
  ordinalBase_ = U32(*dir + 16);
  functionCount_ = U32(*dir + 20);
  const std::uint32_t nameCount = U32(*dir + 24);
  const auto functions = RvaToOffset(U32(*dir + 28));
  const auto names = RvaToOffset(U32(*dir + 32));
  const auto ordinals = RvaToOffset(U32(*dir + 36));
  if (!functions || !names || !ordinals) return;
  for (std::uint32_t i = 0; i < nameCount; ++i) {
    const auto name = RvaToOffset(U32(*names + 4u * i));
    const std::uint16_t index = U16(*ordinals + 2u * i);
    if (!name) continue;
    exports_.push_back({CString(*name), ordinalBase_ + index, U32(*functions + 4u * index)});
  }
}

void PeFile::ReadImports(std::uint32_t rva) {
  auto descriptor = RvaToOffset(rva);
  if (!descriptor) return;
  for (std::size_t d = *descriptor; d + 20 <= bytes_.size(); d += 20) {
    const std::uint32_t nameRva = U32(d + 12);
    if (nameRva == 0) break;
    if (const auto name = RvaToOffset(nameRva)) imports_.push_back(CString(*name));
  }
}

std::optional<std::uint32_t> PeFile::SymbolRva(const std::string& symbol) const {
  if (symbolTable_ == 0) return std::nullopt;
  const std::size_t strings = symbolTable_ + 18u * symbolCount_;
  for (std::uint32_t i = 0; i < symbolCount_; ++i) {
    const std::size_t entry = symbolTable_ + 18u * i;
    if (entry + 18 > bytes_.size()) break;
    std::string name;
    if (U32(entry) == 0) {
      name = CString(strings + U32(entry + 4));
    } else {
      const char* raw = reinterpret_cast<const char*>(&bytes_[entry]);
      name.assign(raw, strnlen(raw, 8));
    }
    const auto section = static_cast<std::int16_t>(U16(entry + 12));
    if (name == symbol && section > 0 && static_cast<std::size_t>(section) <= sections_.size())
      return sections_[static_cast<std::size_t>(section) - 1].virtualAddress + U32(entry + 8);
    i += bytes_[entry + 17];  // skip auxiliary records
  }
  return std::nullopt;
}

}  // namespace morvex::test
