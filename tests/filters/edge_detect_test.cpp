#include "filters/edge_detect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "filter_test_util.h"
#include "morvex/native.h"
#include "support/fp_state.h"

namespace morvex::test {
namespace {

constexpr std::uint32_t kBlack = 0xFF000000u;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

Pixels RunEdges(const Pixels& src, std::uint32_t singleChannel, double threshold,
                const CpuPath& path, int dstPad = 2, bool dstUp = false, int srcPad = 7,
                bool srcUp = true) {
  const int height = static_cast<int>(src.size()), width = static_cast<int>(src[0].size());
  TestPlane in(4 * width, height, srcPad, srcUp), out(4 * width, height, dstPad, dstUp);
  WritePixels(in, src);
  out.Fill(0x5A);
  {
    PinnedCpuPath pin(path);
    EXPECT_EQ(EdgeDetect(out.first(), out.stride(), in.first(), in.stride(), width, height,
                         singleChannel, threshold),
              1);
  }
  EXPECT_TRUE(out.GuardsIntact());
  return ReadPixels(out, width, height);
}

// Columns 0..2 black, 3..5 white (all four bytes), `rows` rows.
Pixels VerticalStep(int rows) {
  return Pixels(rows, std::vector<std::uint32_t>{0, 0, 0, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu});
}

TEST(EdgeDetect, WorkedExamples) {
  const std::uint32_t g255 = 0xFFFFFFFFu, c127 = 0xFF7F7F7Fu;
  const std::vector<std::uint32_t> stepGray{kBlack, kBlack, g255, g255, kBlack, kBlack};
  const std::vector<std::uint32_t> stepColour{kBlack, kBlack, c127, c127, kBlack, kBlack};
  struct Case {
    const char* name;
    Pixels src;
    std::uint32_t single;
    double threshold;
    Pixels expected;
  };
  const Case cases[] = {
      {"step gray", VerticalStep(4), 1, 0.5, Pixels(4, stepGray)},
      {"step per channel", VerticalStep(4), 0, 0.5, Pixels(4, stepColour)},
      {"step, only the low byte of the flag counts", VerticalStep(2), 0x100, 0.5,
       Pixels(2, stepColour)},
      {"step, flag 0x201 is set", VerticalStep(2), 0x201, 0.5, Pixels(2, stepGray)},
      {"uniform", Pixels(3, std::vector<std::uint32_t>(7, 0x80C0E0F0u)), 1, 0.0,
       Pixels(3, std::vector<std::uint32_t>(7, kBlack))},
      {"per channel at threshold 0 marks with 0", VerticalStep(3), 0, 0.0,
       Pixels(3, std::vector<std::uint32_t>(6, kBlack))},
      {"gray ignores green and red", Pixels(3, {0, 0x00FFFF00u, 0, 0x00FFFF00u, 0}), 1, 0.0,
       Pixels(3, std::vector<std::uint32_t>(5, kBlack))},
      // One row is its own neighbour above and below: only left against right counts.
      {"one row", Pixels{{10, 50, 20, 90, 90}}, 1, 0.0,
       Pixels{{kBlack, 0xFF0A0A0Au, 0xFF282828u, 0xFF464646u, kBlack}}},
      // One bright blue corner, seen across the diagonal by the first two rows
      // (the first row is its own upper neighbour).
      {"diagonal", Pixels{{200, 0, 0}, {0, 0, 0}, {0, 0, 0}}, 0, 200.0 / 255.0,
       Pixels{
           {kBlack, 0xFF0000C8u, kBlack}, {kBlack, 0xFF0000C8u, kBlack}, {kBlack, kBlack, kBlack}}},
  };
  for (const CpuPath& path : CpuPaths())
    for (const Case& c : cases)
      EXPECT_EQ(RunEdges(c.src, c.single, c.threshold, path), c.expected)
          << c.name << " " << path.label;
}

TEST(EdgeDetect, BordersAreOpaqueBlackWhateverTheSource) {
  Rng rng(71);
  for (const CpuPath& path : CpuPaths())
    for (int width = 1; width <= 40; ++width) {
      Pixels src(3, std::vector<std::uint32_t>(width));
      for (auto& row : src)
        for (auto& p : row) p = rng.U32();
      const Pixels out = RunEdges(src, rng.U32() & 1, rng.Real(-0.5, 1.5), path);
      for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(out[y][0], kBlack);
        EXPECT_EQ(out[y][width - 1], kBlack);
        for (int x = 1; x < width - 1; ++x) EXPECT_EQ(out[y][x] >> 24, 0xFFu);
      }
    }
}

// Threshold conversion: T = threshold * 255 truncated; NaN and values beyond
// the 32-bit range give INT32_MIN, which passes every strength.
TEST(EdgeDetect, ThresholdConversion) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double threshold;
    std::int32_t t;
  };
  const Case cases[] = {{0.5, 127},       {0.999, 254},      {1.0, 255},        {-0.5, -127},
                        {0.0, 0},         {-0.001, 0},       {2.0, 510},        {kNaN, INT32_MIN},
                        {inf, INT32_MIN}, {-inf, INT32_MIN}, {1e10, INT32_MIN}, {8e6, 2040000000}};
  for (const Case& c : cases) EXPECT_EQ(filters::EdgeThreshold(c.threshold), c.t) << c.threshold;
}

TEST(EdgeDetect, ThresholdsOutsideTheByteRange) {
  // Strengths 10, 40, 70 in blue, green, red across one interior column.
  const Pixels src{{0, 0, 0x0046280Au}};
  struct Case {
    double threshold;
    std::uint32_t gray, colour;
  };
  const Case cases[] = {
      {-0.5, 0xFF0A0A0Au, 0xFF818181u},     // T = -127: all pass, marked 0x81
      {kNaN, 0xFF0A0A0Au, kBlack},          // T = INT32_MIN: all pass, marked 0
      {1e10, 0xFF0A0A0Au, kBlack},          // likewise
      {2.0, kBlack, kBlack},                // T = 510: nothing passes
      {40.5 / 255.0, kBlack, 0xFF282800u},  // T = 40: green and red pass
  };
  for (const CpuPath& path : CpuPaths())
    for (const Case& c : cases) {
      EXPECT_EQ(RunEdges(src, 1, c.threshold, path)[0][1], c.gray) << c.threshold;
      EXPECT_EQ(RunEdges(src, 0, c.threshold, path)[0][1], c.colour) << c.threshold;
    }
}

TEST(EdgeDetect, HostRoundingModeDoesNotMoveTheExactThresholds) {
  const FpStateGuard guard;
  for (std::uint32_t mode : {kFpRoundNearest, kFpRoundTowardZero, kFpRoundDown, kFpRoundUp}) {
    SetHostRounding(mode);
    const FpState before = ReadFpState();
    EXPECT_EQ(RunEdges(VerticalStep(3), 0, 0.5, CpuPaths()[0])[1][2], 0xFF7F7F7Fu);
    EXPECT_EQ(ReadFpState(), before);
  }
}

TEST(EdgeDetect, EmptyRegionsAndNarrowRowsTouchNothing) {
  for (auto [width, height] : {std::pair{0, 3}, {-1, 3}, {INT32_MIN, 1}, {4, 0}, {4, -2}}) {
    TestPlane dst(16, 3), src(16, 3);
    Rng rng(72);
    dst.FillRandom(rng);
    src.FillRandom(rng);
    const auto before = dst.Snapshot();
    EXPECT_EQ(
        EdgeDetect(dst.first(), dst.stride(), src.first(), src.stride(), width, height, 1, 0.1), 1);
    EXPECT_EQ(dst.Snapshot(), before);
  }
}

TEST(EdgeDetect, RowKernelsMatchScalar) {
  const std::int32_t thresholds[] = {INT32_MIN, -300, -1, 0, 1, 17, 110, 128, 254, 255, 256, 9999};
  bool gray = false;
  std::int32_t t = 0;
  const auto next = [&](Rng& rng) {
    gray = rng.Bool();
    t = thresholds[rng.Int(0, 11)];
    return std::string(gray ? " gray" : " per channel") + " T " + std::to_string(t);
  };
  const auto pick = [&](const filters::EdgeKernels& k) { return gray ? k.gray : k.channels; };
  for (const CpuPath& path : CpuPathsOf(filters::kEdgeKernelTable)) {
    if (path.level == InstructionSet::kScalar) continue;
    const filters::EdgeKernels& kernels = *filters::kEdgeKernelTable.At(path.level);
    ExpectKernelMatchesScalar(
        path.label, 1,
        [&](std::uint8_t* d, const std::uint8_t* a, const std::uint8_t* r, const std::uint8_t* b,
            int w) { pick(kernels)(d, a, r, b, w, t); },
        [&](std::uint8_t* d, const std::uint8_t* a, const std::uint8_t* r, const std::uint8_t* b,
            int w) { pick(filters::kEdgeKernelsScalar)(d, a, r, b, w, t); },
        next);
  }
}

}  // namespace
}  // namespace morvex::test
