// Floating-point control: the abstract control/status word encoding at the
// library boundary, the hardware access behind it, and the rounding brackets.
#pragma once

#include <cstdint>

namespace morvex {

// Abstract control word fields.
inline constexpr std::uint32_t kFpInexact = 0x1;
inline constexpr std::uint32_t kFpUnderflow = 0x2;
inline constexpr std::uint32_t kFpOverflow = 0x4;
inline constexpr std::uint32_t kFpZeroDivide = 0x8;
inline constexpr std::uint32_t kFpInvalid = 0x10;
inline constexpr std::uint32_t kFpDenormal = 0x80000;
inline constexpr std::uint32_t kFpExceptionMasks = 0x8001F;
inline constexpr std::uint32_t kFpRoundingField = 0x300;
inline constexpr std::uint32_t kFpRoundNearest = 0x0;
inline constexpr std::uint32_t kFpRoundDown = 0x100;
inline constexpr std::uint32_t kFpRoundUp = 0x200;
inline constexpr std::uint32_t kFpRoundTowardZero = 0x300;
inline constexpr std::uint32_t kFpPrecisionField = 0x30000;  // x87 only
inline constexpr std::uint32_t kFpPrecision64 = 0x0;
inline constexpr std::uint32_t kFpPrecision53 = 0x10000;
inline constexpr std::uint32_t kFpPrecision24 = 0x20000;
inline constexpr std::uint32_t kFpInfinityAffine = 0x40000;  // x87 only
inline constexpr std::uint32_t kFpDenormalField = 0x3000000;   // SSE only
inline constexpr std::uint32_t kFpFlushBoth = 0x1000000;
inline constexpr std::uint32_t kFpFlushOperands = 0x2000000;
inline constexpr std::uint32_t kFpFlushResults = 0x3000000;
inline constexpr std::uint32_t kFpValidBits = kFpExceptionMasks | kFpRoundingField |
                                              kFpPrecisionField | kFpInfinityAffine |
                                              kFpDenormalField;
inline constexpr std::uint32_t kFpAmbiguous = 0x80000000u;
inline constexpr std::uint32_t kFpAmbiguityBits = 0x8031F;  // masks and rounding

// Pure translations between hardware registers and the abstract encoding.
std::uint32_t X87ControlToAbstract(std::uint16_t cw);
std::uint16_t AbstractToX87Control(std::uint32_t word, std::uint16_t current);
std::uint32_t MxcsrControlToAbstract(std::uint32_t csr);
std::uint32_t AbstractToMxcsrControl(std::uint32_t word, std::uint32_t current);
std::uint32_t X87StatusToAbstract(std::uint16_t sw);
std::uint32_t MxcsrStatusToAbstract(std::uint32_t csr);

// The three floating-point exports' semantics for the calling thread.
std::uint32_t ControlFloatingPoint(std::uint32_t newValue, std::uint32_t mask);
std::uint32_t FloatingPointStatus();
void ResetFloatingPoint();

// Raw register access (x86); used by the brackets, the blur's MXCSR handling
// and the tests.
#if defined(__i386__) || defined(__x86_64__)
std::uint16_t ReadX87Control();
void WriteX87Control(std::uint16_t cw);
std::uint16_t ReadX87Status();
#endif
bool HasMxcsr();
std::uint32_t ReadMxcsr();
void WriteMxcsr(std::uint32_t csr);

enum class RoundingMode { kNearest, kTowardZero };

// Sets the rounding field of the x87 unit and MXCSR for the lifetime of the
// object and restores each unit's own rounding field afterwards; nothing else
// of the floating-point state is touched. Not nestable by design: each export
// opens at most one, at entry.
class RoundingBracket {
 public:
  [[nodiscard]] explicit RoundingBracket(RoundingMode mode);
  ~RoundingBracket();
  RoundingBracket(const RoundingBracket&) = delete;
  RoundingBracket& operator=(const RoundingBracket&) = delete;

 private:
  std::uint32_t savedX87_ = 0;
  std::uint32_t savedMxcsr_ = 0;
};

class RoundToNearestBracket : public RoundingBracket {
 public:
  [[nodiscard]] RoundToNearestBracket() : RoundingBracket(RoundingMode::kNearest) {}
};

class RoundTowardZeroBracket : public RoundingBracket {
 public:
  [[nodiscard]] RoundTowardZeroBracket() : RoundingBracket(RoundingMode::kTowardZero) {}
};

}  // namespace morvex
