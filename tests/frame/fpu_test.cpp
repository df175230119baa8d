// The floating-point exports against the real x87 and MXCSR registers.
#include <gtest/gtest.h>

#include "frame/convert.h"
#include "frame/fpu.h"
#include "morvex/native.h"
#include "support/fp_state.h"

#if defined(__i386__) || defined(__x86_64__)

namespace morvex {
namespace {

using test::FpStateGuard;
using test::ReadFpState;

constexpr std::uint16_t kX87RcMask = 0xC00;
constexpr std::uint32_t kMxcsrRcMask = 0x6000;

TEST(FpuTranslation, X87FieldsRoundTrip) {
  struct Case {
    std::uint16_t cw;
    std::uint32_t word;
  };
  const Case cases[] = {
      {0x037F, 0x8001F},                       // all masked, 64-bit, nearest
      {0x027F, 0x8001F | kFpPrecision53},      // the state after a reset
      {0x007F, 0x8001F | kFpPrecision24},
      {0x0F7F, 0x8001F | kFpRoundTowardZero},  // rounding 11 = toward zero
      {0x077F, 0x8001F | kFpRoundDown},
      {0x0B7F, 0x8001F | kFpRoundUp},
      {0x137F, 0x8001F | kFpInfinityAffine},
      {0x0340, 0x0},                           // every exception unmasked
      {0x0341, kFpInvalid}, {0x0342, kFpDenormal}, {0x0344, kFpZeroDivide},
      {0x0348, kFpOverflow}, {0x0350, kFpUnderflow}, {0x0360, kFpInexact},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(X87ControlToAbstract(c.cw), c.word) << std::hex << c.cw;
    EXPECT_EQ(AbstractToX87Control(c.word, 0x0040), c.cw) << std::hex << c.word;
  }
}

TEST(FpuTranslation, MxcsrFieldsRoundTrip) {
  struct Case {
    std::uint32_t csr;
    std::uint32_t word;
  };
  const Case cases[] = {
      {0x1F80, 0x8001F},
      {0x7F80, 0x8001F | kFpRoundTowardZero},
      {0x3F80, 0x8001F | kFpRoundDown},
      {0x5F80, 0x8001F | kFpRoundUp},
      {0x9FC0, 0x8001F | kFpFlushBoth},
      {0x1FC0, 0x8001F | kFpFlushOperands},
      {0x9F80, 0x8001F | kFpFlushResults},
      {0x0000, 0x0},
      {0x0080, kFpInvalid}, {0x0100, kFpDenormal}, {0x0200, kFpZeroDivide},
      {0x0400, kFpOverflow}, {0x0800, kFpUnderflow}, {0x1000, kFpInexact},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MxcsrControlToAbstract(c.csr), c.word) << std::hex << c.csr;
    EXPECT_EQ(AbstractToMxcsrControl(c.word, 0), c.csr) << std::hex << c.word;
  }
  // Flags are not control bits and survive a control change.
  EXPECT_EQ(AbstractToMxcsrControl(0x8001F, 0x3F), 0x1F80u | 0x3Fu);
}

TEST(FpuTranslation, StatusFlagsMapToTheAbstractWord) {
  EXPECT_EQ(X87StatusToAbstract(0x3F), kFpInvalid | kFpDenormal | kFpZeroDivide | kFpOverflow |
                                           kFpUnderflow | kFpInexact);
  EXPECT_EQ(X87StatusToAbstract(0x04), kFpZeroDivide);
  EXPECT_EQ(MxcsrStatusToAbstract(0x1F80 | 0x20), kFpInexact);
  EXPECT_EQ(MxcsrStatusToAbstract(0x1F80 | 0x01), kFpInvalid);
}

TEST(FpuControl, ZeroMaskReadsWithoutChanging) {
  FpStateGuard guard;
  const auto before = ReadFpState();
  const std::uint32_t word = FPU_Control(0, 0);
  EXPECT_EQ(ReadFpState(), before);
  const std::uint32_t x87 = X87ControlToAbstract(before.x87);
  const std::uint32_t sse = MxcsrControlToAbstract(before.mxcsr);
  EXPECT_EQ(word & ~kFpAmbiguous, x87 | sse);
  // Even a full mask with an invalid bit set reads without changing.
  EXPECT_EQ(FPU_Control(0x800, 0xFFFFFFFFu), word);
  EXPECT_EQ(ReadFpState(), before);
}

TEST(FpuControl, RoundingChangesBothUnits) {
  FpStateGuard guard;
  const std::uint32_t word = FPU_Control(kFpRoundTowardZero, kFpRoundingField);
  EXPECT_EQ(word & kFpRoundingField, kFpRoundTowardZero);
  EXPECT_EQ(word & kFpAmbiguous, 0u);
  const auto state = ReadFpState();
  EXPECT_EQ(state.x87 & kX87RcMask, 0xC00);
  EXPECT_EQ(state.mxcsr & kMxcsrRcMask, 0x6000u);
  EXPECT_EQ(ConvertCurrentMode(2.7), 2);
  EXPECT_EQ(FPU_Control(0, kFpRoundingField) & kFpRoundingField, kFpRoundNearest);
  EXPECT_EQ(ReadFpState().mxcsr & kMxcsrRcMask, 0u);
  EXPECT_EQ(ConvertCurrentMode(2.7), 3);
}

TEST(FpuControl, DenormalExceptionMaskNeverChanges) {
  FpStateGuard guard;
  const auto before = ReadFpState();
  FPU_Control(0, kFpDenormal);
  EXPECT_EQ(ReadFpState(), before);
  // Inside a wider mask the other fields change, the denormal mask does not.
  FPU_Control(kFpRoundUp, kFpDenormal | kFpRoundingField);
  const auto after = ReadFpState();
  EXPECT_EQ(after.x87 & 0x2, before.x87 & 0x2);
  EXPECT_EQ(after.mxcsr & 0x100, before.mxcsr & 0x100);
  EXPECT_EQ(after.mxcsr & kMxcsrRcMask, 0x4000u);
}

TEST(FpuControl, InvalidBitInsideTheMaskChangesNothing) {
  FpStateGuard guard;
  const auto before = ReadFpState();
  for (std::uint32_t invalid : {0x20u, 0x400u, 0x100000u, 0x4000000u, 0x80000000u}) {
    const std::uint32_t word = FPU_Control(kFpRoundTowardZero | invalid, kFpRoundingField | invalid);
    EXPECT_EQ(ReadFpState(), before) << std::hex << invalid;
    EXPECT_EQ(word & kFpRoundingField, X87ControlToAbstract(before.x87) & kFpRoundingField);
  }
  // Outside the mask an invalid bit is ignored and the change applies.
  FPU_Control(kFpRoundTowardZero | 0x400u, kFpRoundingField);
  EXPECT_EQ(ReadFpState().mxcsr & kMxcsrRcMask, 0x6000u);
}

TEST(FpuControl, PrecisionAndInfinityActOnX87Only) {
  FpStateGuard guard;
  const auto before = ReadFpState();
  const std::uint32_t word = FPU_Control(kFpPrecision24 | kFpInfinityAffine,
                                         kFpPrecisionField | kFpInfinityAffine);
  const auto after = ReadFpState();
  EXPECT_EQ(after.x87 & 0x300, 0x000);
  EXPECT_EQ(after.x87 & 0x1000, 0x1000);
  EXPECT_EQ(after.mxcsr, before.mxcsr);
  EXPECT_EQ(word & kFpPrecisionField, kFpPrecision24);
  EXPECT_EQ(word & kFpAmbiguous, 0u);  // precision does not make the word ambiguous
}

TEST(FpuControl, DenormalControlActsOnMxcsrOnly) {
  FpStateGuard guard;
  struct Case {
    std::uint32_t field;
    std::uint32_t bits;
  };
  for (const Case c : {Case{kFpFlushBoth, 0x8040u}, Case{kFpFlushOperands, 0x40u},
                       Case{kFpFlushResults, 0x8000u}, Case{0, 0}}) {
    const auto before = ReadFpState();
    const std::uint32_t word = FPU_Control(c.field, kFpDenormalField);
    const auto after = ReadFpState();
    EXPECT_EQ(after.x87, before.x87);
    EXPECT_EQ(after.mxcsr & 0x8040u, c.bits);
    EXPECT_EQ(word & kFpDenormalField, c.field);
  }
}

TEST(FpuControl, UnitsThatDisagreeGiveAnAmbiguousWord) {
  FpStateGuard guard;
  FPU_Control(kFpRoundNearest, kFpRoundingField);
  WriteMxcsr((ReadMxcsr() & ~kMxcsrRcMask) | 0x2000);  // SSE rounds down, x87 to nearest
  const std::uint32_t word = FPU_Control(0, 0);
  EXPECT_EQ(word & kFpAmbiguous, kFpAmbiguous);
  EXPECT_EQ(word & kFpRoundingField, kFpRoundDown);  // the union of both fields
  FPU_Control(kFpRoundUp, kFpRoundingField);
  EXPECT_EQ(FPU_Control(0, 0) & kFpAmbiguous, 0u);
}

TEST(FpuStatus, ReportsStickyFlagsOfBothUnitsWithoutClearing) {
  FpStateGuard guard;
  FPU_Reset();
  EXPECT_EQ(FPU_Status(), 0u);
  // x87: a masked division by zero sets its sticky flag.
  __asm__ volatile("fldz\n\tfld1\n\tfdiv %%st(1), %%st\n\tfstp %%st(0)\n\tfstp %%st(0)"
                   : : : "memory");
  EXPECT_EQ(FPU_Status() & kFpZeroDivide, kFpZeroDivide);
  // SSE: a flag set in MXCSR shows as well.
  WriteMxcsr(ReadMxcsr() | 0x10);  // underflow flag
  const std::uint32_t status = FPU_Status();
  EXPECT_EQ(status & (kFpZeroDivide | kFpUnderflow), kFpZeroDivide | kFpUnderflow);
  EXPECT_EQ(FPU_Status(), status);  // reading does not clear
  FPU_Reset();
  EXPECT_EQ(FPU_Status(), 0u);
}

TEST(FpuReset, RestoresTheDefaultState) {
  FpStateGuard guard;
  FPU_Control(kFpRoundTowardZero | kFpPrecision24 | kFpFlushBoth,
              kFpRoundingField | kFpPrecisionField | kFpDenormalField);
  FPU_Reset();
  const auto state = ReadFpState();
  EXPECT_EQ(state.x87 & 0x1F3F, 0x023F);  // all masked, 53-bit, nearest, projective
  EXPECT_EQ(state.mxcsr, 0x1F80u);
  EXPECT_EQ(FPU_Control(0, 0), 0x8001Fu | kFpPrecision53);
}

// (a + b) - a evaluated on the x87 stack, so it rounds at the unit's
// precision control: 0 when b is below half an ulp of a at that precision.
double X87SumMinusFirst(double a, double b) {
  double r;
  __asm__ volatile("fldl %1\n\tfaddl %2\n\tfsubl %1\n\tfstpl %0" : "=m"(r) : "m"(a), "m"(b));
  return r;
}

TEST(FpuReset, LeavesTheX87UnitAt53BitPrecision) {
  FpStateGuard guard;
  const double tiny = 0x1p-60, small = 0x1p-30;
  struct Case {
    std::uint32_t precision;
    double tinySurvives, smallSurvives;
  };
  // 2^-60 fits a 64-bit mantissa beside 1.0 but not a 53-bit one; 2^-30 fits
  // 53 bits but not 24.
  for (const Case c : {Case{kFpPrecision64, tiny, small}, Case{kFpPrecision53, 0.0, small},
                       Case{kFpPrecision24, 0.0, 0.0}}) {
    FPU_Control(c.precision, kFpPrecisionField);
    EXPECT_EQ(X87SumMinusFirst(1.0, tiny), c.tinySurvives) << std::hex << c.precision;
    EXPECT_EQ(X87SumMinusFirst(1.0, small), c.smallSurvives) << std::hex << c.precision;
    FPU_Reset();
    EXPECT_EQ(FPU_Control(0, 0) & kFpPrecisionField, kFpPrecision53);
    EXPECT_EQ(X87SumMinusFirst(1.0, tiny), 0.0);
    EXPECT_EQ(X87SumMinusFirst(1.0, small), small);
  }
}

TEST(FpuControl, AmbiguityBitMarksMaskOrRoundingDifferencesOnly) {
  struct Case {
    const char* what;
    std::uint16_t x87Clear, x87Set;      // control word bits changed on the x87 unit only
    std::uint32_t mxcsrClear, mxcsrSet;  // MXCSR bits changed on the SSE unit only
    bool ambiguous;
  };
  const Case cases[] = {
      {"same state", 0, 0, 0, 0, false},
      {"x87 inexact unmasked", 0x20, 0, 0, 0, true},
      {"SSE overflow unmasked", 0, 0, 0x400, 0, true},
      {"SSE denormal unmasked", 0, 0, 0x100, 0, true},
      {"x87 rounds up", 0, 0x800, 0, 0, true},
      {"SSE rounds toward zero", 0, 0, 0, 0x6000, true},
      {"x87 at 24-bit precision", 0x300, 0, 0, 0, false},
      {"x87 affine infinity", 0, 0x1000, 0, 0, false},
      {"SSE flushes both", 0, 0, 0, 0x8040, false},
  };
  for (const Case& c : cases) {
    FpStateGuard guard;
    FPU_Reset();  // no pending flags, so unmasking traps nothing
    WriteX87Control(static_cast<std::uint16_t>((ReadX87Control() & ~c.x87Clear) | c.x87Set));
    WriteMxcsr((ReadMxcsr() & ~c.mxcsrClear) | c.mxcsrSet);
    const std::uint32_t word = FPU_Control(0, 0);
    EXPECT_EQ((word & kFpAmbiguous) != 0, c.ambiguous) << c.what;
    // The rest of the word is the union of both units' words.
    EXPECT_EQ(word & ~kFpAmbiguous,
              X87ControlToAbstract(ReadX87Control()) | MxcsrControlToAbstract(ReadMxcsr()))
        << c.what;
  }
}

}  // namespace
}  // namespace morvex

#endif
