// The rounding brackets: the bracket's mode inside, the caller's own rounding
// field of each unit afterwards, whatever it was.
#include <gtest/gtest.h>

#include "frame/convert.h"
#include "frame/fpu.h"
#include "support/fp_state.h"

namespace morvex {
namespace {

using test::FpStateGuard;
using test::ReadFpState;

const std::uint32_t kHostModes[] = {kFpRoundNearest, kFpRoundDown, kFpRoundUp, kFpRoundTowardZero};

TEST(RoundingBracket, ToNearestRoundsHalvesToEvenUnderEveryHostMode) {
  for (std::uint32_t host : kHostModes) {
    FpStateGuard guard;
    test::SetHostRounding(host);
    const auto before = ReadFpState();
    {
      const RoundToNearestBracket bracket;
      EXPECT_EQ(ConvertCurrentMode(2.5), 2);
      EXPECT_EQ(ConvertCurrentMode(3.5), 4);
      EXPECT_EQ(ConvertCurrentMode(-2.5), -2);
      EXPECT_EQ(ConvertCurrentMode(254.5f), 254);
      EXPECT_EQ(ConvertCurrentMode(2.6), 3);
    }
    EXPECT_EQ(ReadFpState(), before) << std::hex << host;
  }
}

TEST(RoundingBracket, TowardZeroTruncatesUnderEveryHostMode) {
  for (std::uint32_t host : kHostModes) {
    FpStateGuard guard;
    test::SetHostRounding(host);
    const auto before = ReadFpState();
    {
      const RoundTowardZeroBracket bracket;
      EXPECT_EQ(ConvertCurrentMode(2.9), 2);
      EXPECT_EQ(ConvertCurrentMode(-2.9), -2);
      // Arithmetic inside rounds toward zero too: the nearest double to 0.1
      // lies above it, the truncated quotient below.
      volatile double tenth = 1.0;
      tenth = tenth / 10.0;
      EXPECT_LT(tenth, 0.1);
    }
    EXPECT_EQ(ReadFpState(), before) << std::hex << host;
  }
}

TEST(RoundingBracket, RestoresEachUnitsOwnFieldWhenTheyDiffer) {
  FpStateGuard guard;
  test::SetHostRounding(kFpRoundDown);
  WriteMxcsr((ReadMxcsr() & ~0x6000u) | 0x4000u);  // SSE rounds up, x87 down
  const auto before = ReadFpState();
  { const RoundToNearestBracket bracket; }
  EXPECT_EQ(ReadFpState(), before);
}

TEST(RoundingBracket, LeavesExceptionMasksPrecisionAndFlushAlone) {
  FpStateGuard guard;
  ControlFloatingPoint(kFpPrecision24 | kFpFlushResults | kFpRoundUp,
                       kFpPrecisionField | kFpDenormalField | kFpRoundingField);
  const auto before = ReadFpState();
  {
    const RoundTowardZeroBracket bracket;
    const auto inside = ReadFpState();
    EXPECT_EQ(inside.x87 & ~0xC00, before.x87 & ~0xC00);
    EXPECT_EQ(inside.mxcsr & ~0x6000u, before.mxcsr & ~0x6000u);
  }
  EXPECT_EQ(ReadFpState(), before);
}

TEST(Conversions, OutOfRangeGivesIntegerIndefinite) {
  for (double v : {2147483648.0, -2147483649.0, 1e300, -1e300, __builtin_nan(""),
                   __builtin_inf(), -__builtin_inf()}) {
    EXPECT_EQ(TruncateToInt32(v), kIntegerIndefinite) << v;
    EXPECT_EQ(ConvertCurrentMode(v), kIntegerIndefinite) << v;
  }
  EXPECT_EQ(TruncateToInt32(-2147483648.0), INT32_MIN);
  EXPECT_EQ(TruncateToInt32(2147483647.9), INT32_MAX);
  EXPECT_EQ(TruncateToInt32(-0.99), 0);
}

}  // namespace
}  // namespace morvex
