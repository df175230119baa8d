// The reciprocal divisions of the vector kernels, proved over their whole
// input ranges.
#include <gtest/gtest.h>

#include <cstdint>

#include "blend/lanes.h"
#include "blend/multiply.h"
#include "blend/multiply_kernels.h"
#include "frame/simd/sse2.h"
#include "support/random.h"

namespace morvex::blend {
namespace {

using I = simd::sse2::Isa;

// (a * 0x8081) >> 23 is a / 255 up to 66298 and not beyond; the kernels use
// it on 16-bit lanes, so every dividend 0..65535 is proved here.
TEST(FixedPoint, Div255IsExactOnEverySixteenBitDividend) {
  for (std::uint32_t a = 0; a <= 66298; ++a) ASSERT_EQ((a * 0x8081u) >> 23, a / 255u) << a;
  EXPECT_NE((66299u * 0x8081u) >> 23, 66299u / 255u);
  for (std::uint32_t a = 0; a < 65536; a += 8) {
    alignas(16) std::uint16_t in[8], out[8];
    for (int i = 0; i < 8; ++i) in[i] = static_cast<std::uint16_t>(a + i);
    I::Store(out, Div255<I>(I::Load(in)));
    for (int i = 0; i < 8; ++i) ASSERT_EQ(out[i], in[i] / 255u) << in[i];
  }
}

// The general remapping's clamped, truncated v / 261120 taken as
// clamp(v >> 10, 0, 65279) / 255: every v from -2^22 to 2^27 (the whole
// range where the result is not already 0 or 255, and well beyond), plus
// the 32-bit extremes. d = 1 and m = 0 make v = Ko + 130560.
TEST(FixedPoint, GeneralRemapDivisionMatchesTruncationForEverySum) {
  const auto check = [](std::int64_t first, std::int64_t last) {
    for (std::int64_t v = first; v <= last; v += 4) {
      alignas(16) std::int32_t ko[4], out[4];
      for (int i = 0; i < 4; ++i)
        ko[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(v + i) - 130560u);
      const I::V r = ScaleGeneralLanes<I>(I::Set32(1), I::Zero(), I::Zero(), I::Load(ko));
      I::Store(out, r);
      for (int i = 0; i < 4; ++i)
        if (out[i] != ScaleByMaskGeneral(1, 0, 0, ko[i])) {
          ADD_FAILURE() << "v " << v + i << " got " << out[i];
          return;
        }
    }
  };
  check(-(std::int64_t{1} << 22), std::int64_t{1} << 27);
  check(INT32_MIN, INT32_MIN + 4096);
  check(INT32_MAX - 4099, INT32_MAX - 3);
}

// The 16-bit form splits Ks and Ko into words and works modulo 2^32: every
// (d, m) pair under random Ks, Ko from the whole 32-bit range (wide form)
// and from 16 bits (narrow form) against the scalar definition.
TEST(FixedPoint, GeneralRemapWordsMatchScalarForAnyParameters) {
  test::Rng rng(12);
  for (int round = 0; round < 96; ++round) {
    const bool wide = round % 2 == 0;
    const auto draw = [&] {
      return wide ? static_cast<std::int32_t>(rng.U32()) : rng.Int(-32768, 32767);
    };
    const std::int32_t ks = draw(), ko = draw();
    const GeneralWords<I> words(ks, ko);
    for (int d = 0; d < 256; ++d) {
      for (int m0 = 0; m0 < 256; m0 += 8) {
        alignas(16) std::uint16_t dv[8], mv[8], out[8];
        for (int i = 0; i < 8; ++i) {
          dv[i] = static_cast<std::uint16_t>(d);
          mv[i] = static_cast<std::uint16_t>(m0 + i);
        }
        const I::V r = wide ? ScaleGeneralWords<I, true>(I::Load(dv), I::Load(mv), words)
                            : ScaleGeneralWords<I, false>(I::Load(dv), I::Load(mv), words);
        I::Store(out, I::MinS16(r, I::Set16(255)));
        for (int i = 0; i < 8; ++i)
          ASSERT_EQ(out[i], ScaleByMaskGeneral(d, m0 + i, ks, ko))
              << "Ks " << ks << " Ko " << ko << " d " << d << " m " << m0 + i;
      }
    }
  }
}

}  // namespace
}  // namespace morvex::blend
