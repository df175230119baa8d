#include "frame/fpu.h"

#include "frame/cpu_features.h"

#if defined(__i386__) || defined(__x86_64__)
#define MORVEX_X86 1
#include <xmmintrin.h>
#else
#include <cfenv>
#endif

namespace morvex {
namespace {

// x87 control word fields.
constexpr std::uint16_t kX87Invalid = 0x01, kX87Denormal = 0x02, kX87ZeroDivide = 0x04,
                        kX87Overflow = 0x08, kX87Underflow = 0x10, kX87Inexact = 0x20;
constexpr std::uint16_t kX87PrecisionMask = 0x300, kX87Precision24 = 0x000,
                        kX87Precision53 = 0x200, kX87Precision64 = 0x300;
constexpr std::uint16_t kX87RoundingMask = 0xC00;
constexpr std::uint16_t kX87InfinityAffine = 0x1000;

// MXCSR fields.
constexpr std::uint32_t kMxcsrFlagsMask = 0x3F;
constexpr std::uint32_t kMxcsrDaz = 0x40;
constexpr std::uint32_t kMxcsrMaskShift = 7;  // exception masks are the flag bits << 7
constexpr std::uint32_t kMxcsrRoundingMask = 0x6000;
constexpr std::uint32_t kMxcsrFlushToZero = 0x8000;
constexpr std::uint32_t kMxcsrDefault = 0x1F80;

// The exception bits share one order in the x87 words and MXCSR:
// invalid, denormal, zero-divide, overflow, underflow, inexact.
std::uint32_t HardwareExceptionsToAbstract(std::uint32_t bits) {
  std::uint32_t word = 0;
  if (bits & kX87Invalid) word |= kFpInvalid;
  if (bits & kX87Denormal) word |= kFpDenormal;
  if (bits & kX87ZeroDivide) word |= kFpZeroDivide;
  if (bits & kX87Overflow) word |= kFpOverflow;
  if (bits & kX87Underflow) word |= kFpUnderflow;
  if (bits & kX87Inexact) word |= kFpInexact;
  return word;
}

std::uint32_t AbstractExceptionsToHardware(std::uint32_t word) {
  std::uint32_t bits = 0;
  if (word & kFpInvalid) bits |= kX87Invalid;
  if (word & kFpDenormal) bits |= kX87Denormal;
  if (word & kFpZeroDivide) bits |= kX87ZeroDivide;
  if (word & kFpOverflow) bits |= kX87Overflow;
  if (word & kFpUnderflow) bits |= kX87Underflow;
  if (word & kFpInexact) bits |= kX87Inexact;
  return bits;
}

// Rounding field: the abstract values 0x0, 0x100, 0x200, 0x300 (nearest, down,
// up, toward zero) are the hardware's 2-bit codes in both units.
std::uint32_t RoundingCode(std::uint32_t word) { return (word & kFpRoundingField) >> 8; }

}  // namespace

std::uint32_t X87ControlToAbstract(std::uint16_t cw) {
  std::uint32_t word = HardwareExceptionsToAbstract(cw & 0x3F);
  word |= static_cast<std::uint32_t>((cw & kX87RoundingMask) >> 10) << 8;
  switch (cw & kX87PrecisionMask) {
    case kX87Precision24: word |= kFpPrecision24; break;
    case kX87Precision53: word |= kFpPrecision53; break;
    default: word |= kFpPrecision64; break;  // 64-bit and the reserved code
  }
  if (cw & kX87InfinityAffine) word |= kFpInfinityAffine;
  return word;
}

std::uint16_t AbstractToX87Control(std::uint32_t word, std::uint16_t current) {
  std::uint32_t cw = current & ~static_cast<std::uint32_t>(0x3F | kX87PrecisionMask |
                                                          kX87RoundingMask | kX87InfinityAffine);
  cw |= AbstractExceptionsToHardware(word);
  cw |= RoundingCode(word) << 10;
  switch (word & kFpPrecisionField) {
    case kFpPrecision24: cw |= kX87Precision24; break;
    case kFpPrecision53: cw |= kX87Precision53; break;
    default: cw |= kX87Precision64; break;
  }
  if (word & kFpInfinityAffine) cw |= kX87InfinityAffine;
  return static_cast<std::uint16_t>(cw);
}

std::uint32_t MxcsrControlToAbstract(std::uint32_t csr) {
  std::uint32_t word = HardwareExceptionsToAbstract((csr >> kMxcsrMaskShift) & 0x3F);
  word |= ((csr & kMxcsrRoundingMask) >> 13) << 8;
  const bool daz = (csr & kMxcsrDaz) != 0;
  const bool ftz = (csr & kMxcsrFlushToZero) != 0;
  if (daz && ftz) word |= kFpFlushBoth;
  else if (daz) word |= kFpFlushOperands;
  else if (ftz) word |= kFpFlushResults;
  return word;
}

std::uint32_t AbstractToMxcsrControl(std::uint32_t word, std::uint32_t current) {
  std::uint32_t csr = current & ~((0x3Fu << kMxcsrMaskShift) | kMxcsrRoundingMask | kMxcsrDaz |
                                  kMxcsrFlushToZero);
  csr |= AbstractExceptionsToHardware(word) << kMxcsrMaskShift;
  csr |= RoundingCode(word) << 13;
  switch (word & kFpDenormalField) {
    case kFpFlushBoth: csr |= kMxcsrDaz | kMxcsrFlushToZero; break;
    case kFpFlushOperands: csr |= kMxcsrDaz; break;
    case kFpFlushResults: csr |= kMxcsrFlushToZero; break;
    default: break;
  }
  return csr;
}

std::uint32_t X87StatusToAbstract(std::uint16_t sw) { return HardwareExceptionsToAbstract(sw & 0x3F); }

std::uint32_t MxcsrStatusToAbstract(std::uint32_t csr) {
  return HardwareExceptionsToAbstract(csr & kMxcsrFlagsMask);
}

#if MORVEX_X86

std::uint16_t ReadX87Control() {
  std::uint16_t cw;
  __asm__ volatile("fnstcw %0" : "=m"(cw) : : "memory");
  return cw;
}

void WriteX87Control(std::uint16_t cw) { __asm__ volatile("fldcw %0" : : "m"(cw) : "memory"); }

std::uint16_t ReadX87Status() {
  std::uint16_t sw;
  __asm__ volatile("fnstsw %0" : "=m"(sw) : : "memory");
  return sw;
}

bool HasMxcsr() {
#if defined(__x86_64__)
  return true;
#else
  return (ProbedCpuFeatureFlags() & kCpuSse2) != 0;
#endif
}

std::uint32_t ReadMxcsr() {
  std::uint32_t csr;
  __asm__ volatile("stmxcsr %0" : "=m"(csr) : : "memory");
  return csr;
}

void WriteMxcsr(std::uint32_t csr) { __asm__ volatile("ldmxcsr %0" : : "m"(csr) : "memory"); }

namespace {
std::uint32_t CombinedControl() {
  const std::uint32_t x87 = X87ControlToAbstract(ReadX87Control());
  if (!HasMxcsr()) return x87;
  const std::uint32_t sse = MxcsrControlToAbstract(ReadMxcsr());
  std::uint32_t word = x87 | sse;
  if ((x87 ^ sse) & kFpAmbiguityBits) word |= kFpAmbiguous;
  return word;
}
}  // namespace

std::uint32_t ControlFloatingPoint(std::uint32_t newValue, std::uint32_t mask) {
  mask &= ~kFpDenormal;  // the denormal exception mask never changes here
  if (newValue & mask & ~kFpValidBits) return CombinedControl();
  mask &= kFpValidBits;
  if (mask != 0) {
    const std::uint16_t cw = ReadX87Control();
    const std::uint32_t x87 = X87ControlToAbstract(cw);
    WriteX87Control(AbstractToX87Control((x87 & ~mask) | (newValue & mask), cw));
    if (HasMxcsr()) {
      // Precision and infinity control do not exist on the SSE unit.
      const std::uint32_t sseMask = mask & (kFpExceptionMasks | kFpRoundingField | kFpDenormalField);
      const std::uint32_t csr = ReadMxcsr();
      const std::uint32_t sse = MxcsrControlToAbstract(csr);
      WriteMxcsr(AbstractToMxcsrControl((sse & ~sseMask) | (newValue & sseMask), csr));
    }
  }
  return CombinedControl();
}

std::uint32_t FloatingPointStatus() {
  std::uint32_t word = X87StatusToAbstract(ReadX87Status());
  if (HasMxcsr()) word |= MxcsrStatusToAbstract(ReadMxcsr());
  return word;
}

void ResetFloatingPoint() {
  __asm__ volatile("fninit" : : : "memory");
  const std::uint16_t cw = ReadX87Control();
  WriteX87Control(static_cast<std::uint16_t>((cw & ~kX87PrecisionMask) | kX87Precision53));
  if (HasMxcsr()) WriteMxcsr(kMxcsrDefault);
}

RoundingBracket::RoundingBracket(RoundingMode mode) {
  const std::uint32_t code = mode == RoundingMode::kNearest ? 0u : 3u;
  const std::uint16_t cw = ReadX87Control();
  savedX87_ = cw;
  WriteX87Control(static_cast<std::uint16_t>((cw & ~kX87RoundingMask) | (code << 10)));
  if (HasMxcsr()) {
    const std::uint32_t csr = ReadMxcsr();
    savedMxcsr_ = csr;
    WriteMxcsr((csr & ~kMxcsrRoundingMask) | (code << 13));
  }
}

RoundingBracket::~RoundingBracket() {
  const std::uint16_t cw = ReadX87Control();
  WriteX87Control(static_cast<std::uint16_t>((cw & ~kX87RoundingMask) |
                                             (savedX87_ & kX87RoundingMask)));
  if (HasMxcsr()) {
    // Only the rounding field goes back: exception flags raised inside stay sticky.
    const std::uint32_t csr = ReadMxcsr();
    WriteMxcsr((csr & ~kMxcsrRoundingMask) | (savedMxcsr_ & kMxcsrRoundingMask));
  }
}

#else  // not x86: the C floating-point environment, as far as it reaches

namespace {
int FenvRounding(std::uint32_t word) {
  switch (word & kFpRoundingField) {
    case kFpRoundDown: return FE_DOWNWARD;
    case kFpRoundUp: return FE_UPWARD;
    case kFpRoundTowardZero: return FE_TOWARDZERO;
    default: return FE_TONEAREST;
  }
}
std::uint32_t AbstractRounding(int mode) {
  switch (mode) {
    case FE_DOWNWARD: return kFpRoundDown;
    case FE_UPWARD: return kFpRoundUp;
    case FE_TOWARDZERO: return kFpRoundTowardZero;
    default: return kFpRoundNearest;
  }
}
constexpr std::uint32_t kAllMasks = kFpInexact | kFpUnderflow | kFpOverflow | kFpZeroDivide |
                                    kFpInvalid | kFpDenormal;
}  // namespace

bool HasMxcsr() { return false; }
std::uint32_t ReadMxcsr() { return 0; }
void WriteMxcsr(std::uint32_t) {}

std::uint32_t ControlFloatingPoint(std::uint32_t newValue, std::uint32_t mask) {
  mask &= ~kFpDenormal;
  if (!(newValue & mask & ~kFpValidBits) && (mask & kFpRoundingField)) {
    const std::uint32_t current = AbstractRounding(std::fegetround());
    const std::uint32_t next = (current & ~mask) | (newValue & mask & kFpRoundingField);
    std::fesetround(FenvRounding(next));
  }
  // Exceptions stay masked (trapping is not portable); precision is 53 bits.
  return kAllMasks | AbstractRounding(std::fegetround()) | kFpPrecision53;
}

std::uint32_t FloatingPointStatus() {
  const int raised = std::fetestexcept(FE_ALL_EXCEPT);
  std::uint32_t word = 0;
  if (raised & FE_INVALID) word |= kFpInvalid;
  if (raised & FE_DIVBYZERO) word |= kFpZeroDivide;
  if (raised & FE_OVERFLOW) word |= kFpOverflow;
  if (raised & FE_UNDERFLOW) word |= kFpUnderflow;
  if (raised & FE_INEXACT) word |= kFpInexact;
  return word;
}

void ResetFloatingPoint() {
  std::fesetenv(FE_DFL_ENV);
}

RoundingBracket::RoundingBracket(RoundingMode mode) {
  savedX87_ = static_cast<std::uint32_t>(std::fegetround());
  std::fesetround(mode == RoundingMode::kNearest ? FE_TONEAREST : FE_TOWARDZERO);
}

RoundingBracket::~RoundingBracket() { std::fesetround(static_cast<int>(savedX87_)); }

#endif

}  // namespace morvex
