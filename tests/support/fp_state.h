// Test helpers for the thread's floating-point state.
#pragma once

#include <cstdint>

#include "frame/fpu.h"

namespace morvex::test {

// The raw x87 control word and the control bits of MXCSR (its sticky
// exception flags, bits 0-5, are left out: any arithmetic may raise them).
struct FpState {
  std::uint16_t x87 = 0;
  std::uint32_t mxcsr = 0;
  bool operator==(const FpState&) const = default;
};

inline FpState ReadFpState() {
  FpState s;
#if defined(__i386__) || defined(__x86_64__)
  s.x87 = ReadX87Control();
  s.mxcsr = ReadMxcsr() & ~0x3Fu;
#endif
  return s;
}

// Restores the thread's control words on scope exit.
class FpStateGuard {
 public:
  FpStateGuard() {
#if defined(__i386__) || defined(__x86_64__)
    x87_ = ReadX87Control();
    mxcsr_ = ReadMxcsr();
#endif
  }
  ~FpStateGuard() {
#if defined(__i386__) || defined(__x86_64__)
    WriteX87Control(x87_);
    WriteMxcsr(mxcsr_);
#endif
  }

 private:
  std::uint16_t x87_ = 0;
  std::uint32_t mxcsr_ = 0;
};

// Sets the rounding field of both units (the way a host would).
inline void SetHostRounding(std::uint32_t abstractRounding) {
  ControlFloatingPoint(abstractRounding, kFpRoundingField);
}

// The four rounding modes a host can leave the thread in.
inline constexpr std::uint32_t kHostRoundings[] = {kFpRoundNearest, kFpRoundDown, kFpRoundUp,
                                                   kFpRoundTowardZero};

inline const char* RoundingName(std::uint32_t mode) {
  switch (mode) {
    case kFpRoundNearest: return "nearest";
    case kFpRoundDown: return "down";
    case kFpRoundUp: return "up";
    default: return "toward-zero";
  }
}

}  // namespace morvex::test
