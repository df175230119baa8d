#include "filters/blur3x3.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "filter_test_util.h"
#include "morvex/native.h"

namespace morvex::test {
namespace {

// The binomial blur written directly over clamped coordinates.
Pixels ReferenceBlur(const Pixels& src) {
  const int height = static_cast<int>(src.size()), width = static_cast<int>(src[0].size());
  const int weight[3] = {1, 2, 1};
  Pixels out(height, std::vector<std::uint32_t>(width));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint32_t pixel = 0;
      for (int c = 0; c < 4; ++c) {
        int sum = 0;
        for (int i = -1; i <= 1; ++i)
          for (int k = -1; k <= 1; ++k) {
            const int yy = std::clamp(y + i, 0, height - 1), xx = std::clamp(x + k, 0, width - 1);
            sum += weight[i + 1] * weight[k + 1] * ChannelOf(src[yy][xx], c);
          }
        pixel |= static_cast<std::uint32_t>(sum / 16) << (8 * c);
      }
      out[y][x] = pixel;
    }
  return out;
}

Pixels RunBlur(const Pixels& src, const CpuPath& path, int dstPad = 3, bool dstUp = true,
               int srcPad = 5, bool srcUp = false) {
  const int height = static_cast<int>(src.size()), width = static_cast<int>(src[0].size());
  TestPlane in(4 * width, height, srcPad, srcUp), out(4 * width, height, dstPad, dstUp);
  WritePixels(in, src);
  out.Fill(0x5A);
  const auto before = in.Snapshot();
  {
    PinnedCpuPath pin(path);
    EXPECT_EQ(Blur3x3(out.first(), out.stride(), in.first(), in.stride(), width, height), 1);
  }
  EXPECT_TRUE(out.GuardsIntact());
  EXPECT_EQ(in.Snapshot(), before);
  return ReadPixels(out, width, height);
}

TEST(Blur3x3, WorkedExamples) {
  const std::uint32_t w = 0xFFFFFFFFu;
  struct Case {
    const char* name;
    Pixels src, expected;
  };
  const Case cases[] = {
      {"impulse",
       {{0, 0, 0}, {0, w, 0}, {0, 0, 0}},
       {{Gray4(15), Gray4(31), Gray4(15)},
        {Gray4(31), Gray4(63), Gray4(31)},
        {Gray4(15), Gray4(31), Gray4(15)}}},
      {"two pixels", {{Gray4(10), Gray4(20)}}, {{Gray4(12), Gray4(17)}}},
      {"three pixels", {{0, w, 0}}, {{Gray4(63), Gray4(127), Gray4(63)}}},
      {"one pixel", {{0x12345678u}}, {{0x12345678u}}},
      {"uniform", Pixels(5, std::vector<std::uint32_t>(9, 0x80402010u)),
       Pixels(5, std::vector<std::uint32_t>(9, 0x80402010u))},
  };
  for (const CpuPath& path : CpuPaths())
    for (const Case& c : cases)
      EXPECT_EQ(RunBlur(c.src, path), c.expected) << c.name << " " << path.label;
}

TEST(Blur3x3, MatchesTheClampedKernelOnRandomImages) {
  Rng rng(61);
  for (const CpuPath& path : CpuPaths())
    for (int i = 0; i < 60; ++i) {
      const int width = rng.Int(1, 70), height = rng.Int(1, 6);
      Pixels src(height, std::vector<std::uint32_t>(width));
      for (auto& row : src)
        for (auto& p : row) p = rng.U32();
      const auto ds = RandomShape(rng), ss = RandomShape(rng);
      EXPECT_EQ(RunBlur(src, path, ds.padding, ds.bottomUp, ss.padding, ss.bottomUp),
                ReferenceBlur(src))
          << path.label << " " << width << "x" << height;
    }
}

TEST(Blur3x3, EmptyRegionsTouchNothing) {
  for (auto [width, height] : {std::pair{4, 0}, {4, -3}, {0, 4}, {-5, 4}, {INT32_MIN, 2}}) {
    TestPlane dst(16, 4), src(16, 4);
    Rng rng(62);
    dst.FillRandom(rng);
    src.FillRandom(rng);
    const auto before = dst.Snapshot();
    EXPECT_EQ(Blur3x3(dst.first(), dst.stride(), src.first(), src.stride(), width, height), 1);
    EXPECT_EQ(dst.Snapshot(), before);
  }
}

TEST(Blur3x3, RowKernelsMatchScalar) {
  const filters::Blur3x3RowKernel scalar = filters::kBlur3x3KernelsScalar.row;
  for (const CpuPath& path : CpuPathsOf(filters::kBlur3x3KernelTable))
    if (path.level != InstructionSet::kScalar)
      ExpectKernelMatchesScalar(path.label, 0, filters::kBlur3x3KernelTable.At(path.level)->row,
                                scalar, [](Rng&) { return std::string(); });
}

}  // namespace
}  // namespace morvex::test
