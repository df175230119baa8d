// Building blocks of the slow reference versions of the exports: unaligned
// loads and stores through memcpy, row and element offsets, and the
// round-to-nearest bracket written from its definition.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frame/fpu.h"

namespace morvex::oracle {

inline std::uint32_t ReadWord(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void WriteWord(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }
inline float ReadFloat(const std::uint8_t* p) {
  float v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void WriteFloat(std::uint8_t* p, float v) { std::memcpy(p, &v, 4); }
inline const std::uint8_t* Advance(const std::uint8_t* row, std::int32_t stride) { return row + stride; }
inline std::uint8_t* Advance(std::uint8_t* row, std::int32_t stride) { return row + stride; }
inline std::ptrdiff_t At(std::int32_t x, std::int32_t step) {
  return static_cast<std::ptrdiff_t>(static_cast<std::int64_t>(x) * step);
}

// The round-to-nearest bracket: save the control word, set only the rounding
// field to nearest, and put the saved rounding field back afterwards.
class NearestBracket {
 public:
  NearestBracket() : saved_(ControlFloatingPoint(0, 0)) { ControlFloatingPoint(0x0, 0x300); }
  ~NearestBracket() { ControlFloatingPoint(saved_ & 0x300, 0x300); }

 private:
  std::uint32_t saved_;
};

}  // namespace morvex::oracle
