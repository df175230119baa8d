// The copy, lookup-table and conversion exports against their slow reference
// versions on seeded random calls: odd and empty sizes, padded and bottom-up
// planes chosen per plane, unaligned tables, in-place and overlapping calls,
// refused arguments, every processor path and every host rounding mode.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "morvex/native.h"
#include "support/oracle_harness.h"
#include "pixel/oracle_pixel.h"

namespace morvex::test {
namespace {

using oracle::Outcome;

constexpr int kCases = 160;

// A table buffer: 1024 bytes ending at the fence, starting `offset` bytes
// into the buffer so its start has any alignment.
struct TableAt {
  std::size_t buffer;
  std::int32_t offset;
  std::uint8_t* in(Buffers& b) const { return b[buffer]->first() + offset; }
};
TableAt AddTable(std::vector<BufferLayout>& layouts, Rng& rng) {
  const std::int32_t offset = rng.Int(0, 3);
  layouts.push_back({1024 + offset, 1});
  return {layouts.size() - 1, offset};
}

// Float values a host may pass: bytes, halves and their neighbours, values
// out of range, huge magnitudes, signed zeros, NaN, infinities, denormals.
float InterestingFloat(Rng& rng) {
  switch (rng.Int(0, 11)) {
    case 0: return static_cast<float>(rng.Int(0, 255));
    case 1: return static_cast<float>(rng.Int(-2, 256)) + 0.5f;
    case 2: return std::nextafter(static_cast<float>(rng.Int(0, 255)) + 0.5f, rng.Bool() ? 1e9f : -1e9f);
    case 3: return static_cast<float>(rng.Real(-300.0, 600.0));
    case 4: return static_cast<float>(rng.Real(-1.0, 1.0));
    case 5: return rng.Bool() ? 2147483648.0f : 2147483520.0f;
    case 6: return rng.Bool() ? -2147483648.0f : -2147483904.0f;
    case 7: return rng.Bool() ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
    case 8: return rng.Bool() ? std::numeric_limits<float>::quiet_NaN() : -std::numeric_limits<float>::quiet_NaN();
    case 9: return rng.Bool() ? -0.0f : std::numeric_limits<float>::denorm_min();
    case 10: return static_cast<float>(rng.Real(-1e12, 1e12));
    default: {
      float f;
      const std::uint32_t bits = rng.U32();
      std::memcpy(&f, &bits, 4);
      return f;
    }
  }
}

// Random bytes everywhere, then interesting floats in the rows of `floatBuffer`.
Prepare WithFloats(std::uint64_t seed, std::size_t floatBuffer) {
  return [seed, floatBuffer](Buffers& b) {
    RandomBytes(seed)(b);
    Rng rng(seed ^ 0xF10A7);
    TestPlane& plane = *b[floatBuffer];
    for (std::int32_t y = 0; y < plane.rows(); ++y)
      for (std::int32_t i = 0; i + 4 <= plane.rowBytes(); i += 4) {
        const float v = InterestingFloat(rng);
        std::memcpy(plane.Row(y) + i, &v, 4);
      }
  };
}

// Images of few distinct values, so that tables with extreme entries and sums
// near 255 are hit often.
Prepare FewValues(std::uint64_t seed, std::size_t image) {
  return [seed, image](Buffers& b) {
    RandomBytes(seed)(b);
    Rng rng(seed ^ 0xFE3);
    const std::uint8_t values[] = {0, 1, 63, 64, 85, 127, 128, 170, 254, 255};
    TestPlane& plane = *b[image];
    for (std::int32_t y = 0; y < plane.rows(); ++y)
      for (std::int32_t i = 0; i < plane.rowBytes(); ++i)
        if (rng.Bool()) plane.Row(y)[i] = values[rng.Int(0, 9)];
  };
}

TEST(PixelOracle, BitmapCopy) {
  Rng rng(101);
  for (int n = 0; n < kCases; ++n) {
    const std::int32_t height = RandomHeight(rng);
    std::int32_t elementBytes = rng.Int(1, 16);
    std::int32_t width = RandomWidth(rng);
    if (rng.Int(0, 9) == 0) std::swap(elementBytes, width);  // only the product counts
    if (rng.Int(0, 9) == 0) { elementBytes = -elementBytes; width = -width; }
    const std::int64_t product = static_cast<std::int64_t>(elementBytes) * width;
    const std::int32_t rowBytes = static_cast<std::int32_t>(product > 0 ? product : 0);
    std::vector<BufferLayout> layouts{{rowBytes, Rows(height), RandomShape(rng)},
                                  {rowBytes, Rows(height), RandomShape(rng)}};
    const auto call = [&](bool ref) {
      return [=](Buffers& b) -> Outcome {
        if (ref)
          return oracle::BitmapCopy(b[0]->first(), b[0]->stride(), b[1]->first(), b[1]->stride(),
                                    elementBytes, width, height);
        return {::BitmapCopy(b[0]->first(), b[0]->stride(), b[1]->first(), b[1]->stride(),
                             elementBytes, width, height), {}};
      };
    };
    if (!MatchesOracle(Describe("BitmapCopy", width, height, n), layouts, RandomBytes(n), call(false), call(true)))
      return;
  }
}

// Element steps a host uses (4 and 1 mostly), plus 0, 2, 3, 16 and negative
// steps walking a row backwards.
std::int32_t RandomStep(Rng& rng) {
  const std::int32_t steps[] = {4, 4, 4, 1, 1, 1, 0, 2, 3, 16, -1, -4};
  return steps[rng.Int(0, 11)];
}

// Bytes a strided row of `width` elements spans, and the offset of element 0
// inside that span (a negative step starts at the span's end).
std::int32_t Span(std::int32_t width, std::int32_t step) {
  return width > 0 ? (width - 1) * std::abs(step) + 1 : 0;
}
std::int32_t FirstOffset(std::int32_t width, std::int32_t step) {
  return width > 0 && step < 0 ? (width - 1) * -step : 0;
}

TEST(PixelOracle, ChannelCopy) {
  Rng rng(102);
  for (int n = 0; n < 3 * kCases; ++n) {
    const std::int32_t height = RandomHeight(rng);
    const std::int32_t width = RandomWidth(rng);
    const std::int32_t dstStep = RandomStep(rng), srcStep = RandomStep(rng);
    const std::int32_t dstOffset = FirstOffset(width, dstStep) + rng.Int(0, 3);
    const std::int32_t srcOffset = FirstOffset(width, srcStep) + rng.Int(0, 3);
    const std::int32_t dstSpan = Span(width, dstStep) + dstOffset - FirstOffset(width, dstStep);
    const std::int32_t srcSpan = Span(width, srcStep) + srcOffset - FirstOffset(width, srcStep);
    // A third of the calls share one buffer (same stride): the rows overlap
    // or interleave, as when one channel of an image is copied into another.
    const bool shared = rng.Int(0, 2) == 0;
    std::vector<BufferLayout> layouts;
    if (shared) {
      layouts.push_back({std::max(dstSpan, srcSpan), Rows(height), RandomShape(rng)});
    } else {
      layouts.push_back({dstSpan, Rows(height), RandomShape(rng)});
      layouts.push_back({srcSpan, Rows(height), RandomShape(rng)});
    }
    const auto call = [&](bool ref) {
      return [=](Buffers& b) -> Outcome {
        TestPlane& d = *b[0];
        TestPlane& s = *b[shared ? 0 : 1];
        std::uint8_t* dst = d.first() + dstOffset;
        const std::uint8_t* src = s.first() + srcOffset;
        if (ref) return oracle::ChannelCopy(dst, d.stride(), dstStep, width, height, src, s.stride(), srcStep);
        return {::ChannelCopy(dst, d.stride(), dstStep, width, height, src, s.stride(), srcStep), {}};
      };
    };
    const std::string what = Describe("ChannelCopy", width, height, n) + " steps " +
                             std::to_string(dstStep) + "<-" + std::to_string(srcStep) +
                             (shared ? " shared" : "");
    if (!MatchesOracle(what, layouts, RandomBytes(n), call(false), call(true))) return;
  }
}

// Lut and LutWithAlphaClamp share a signature.
using LutExport = std::uint8_t (*)(std::uint8_t*, std::int32_t, std::int32_t, std::int32_t, const std::uint8_t*);
using LutOracle = Outcome (*)(std::uint8_t*, std::int32_t, std::int32_t, std::int32_t, const std::uint8_t*);

void CheckLut(const char* name, LutExport exported, LutOracle reference, std::uint64_t seed) {
  Rng rng(seed);
  for (int n = 0; n < kCases; ++n) {
    const std::int32_t height = RandomHeight(rng), width = RandomWidth(rng);
    std::vector<BufferLayout> layouts{{4 * Elements(width), Rows(height), RandomShape(rng)}};
    const TableAt table = AddTable(layouts, rng);
    const auto call = [&](bool ref) {
      return [=](Buffers& b) -> Outcome {
        if (ref) return reference(b[0]->first(), b[0]->stride(), width, height, table.in(b));
        return {exported(b[0]->first(), b[0]->stride(), width, height, table.in(b)), {}};
      };
    };
    const Prepare prepare = n % 2 ? RandomBytes(n) : FewValues(n, 0);
    if (!MatchesOracle(Describe(name, width, height, n), layouts, prepare, call(false), call(true))) return;
  }
}

TEST(PixelOracle, Lut) { CheckLut("Lut", ::Lut, oracle::Lut, 103); }
TEST(PixelOracle, LutWithAlphaClamp) {
  CheckLut("LutWithAlphaClamp", ::LutWithAlphaClamp, oracle::LutWithAlphaClamp, 104);
}

// Channel arguments: the valid ones most of the time, then values that must
// be refused (also those whose low byte is valid).
std::int32_t RandomChannel(Rng& rng) {
  const std::int32_t odd[] = {4, -1, 5, 256, 259, -253, INT32_MIN, INT32_MAX, 0x01000003};
  return rng.Int(0, 4) == 0 ? odd[rng.Int(0, 8)] : rng.Int(0, 3);
}

TEST(PixelOracle, ChannelMap) {
  Rng rng(105);
  for (int n = 0; n < kCases; ++n) {
    const std::int32_t height = RandomHeight(rng), width = RandomWidth(rng);
    const std::int32_t channel = RandomChannel(rng);
    std::vector<BufferLayout> layouts{{4 * Elements(width), Rows(height), RandomShape(rng)}};
    const TableAt table = AddTable(layouts, rng);
    const auto call = [&](bool ref) {
      return [=](Buffers& b) -> Outcome {
        if (ref) return oracle::ChannelMap(b[0]->first(), b[0]->stride(), channel, width, height, table.in(b));
        return {::ChannelMap(b[0]->first(), b[0]->stride(), channel, width, height, table.in(b)), {}};
      };
    };
    const std::string what = Describe("ChannelMap", width, height, n) + " channel " + std::to_string(channel);
    if (!MatchesOracle(what, layouts, RandomBytes(n), call(false), call(true))) return;
  }
}

TEST(PixelOracle, ChannelMapEx) {
  Rng rng(106);
  for (int n = 0; n < kCases; ++n) {
    const std::int32_t height = RandomHeight(rng), width = RandomWidth(rng);
    const std::int32_t channel = RandomChannel(rng);
    const bool inPlace = rng.Int(0, 3) == 0;
    std::vector<BufferLayout> layouts{{4 * Elements(width), Rows(height), RandomShape(rng)}};
    layouts.push_back({4 * Elements(width), Rows(height), RandomShape(rng)});
    const TableAt table = AddTable(layouts, rng);
    const auto call = [&](bool ref) {
      return [=](Buffers& b) -> Outcome {
        TestPlane& d = *b[0];
        TestPlane& s = *b[inPlace ? 0 : 1];
        if (ref)
          return oracle::ChannelMapEx(d.first(), d.stride(), s.first(), s.stride(), channel, width, height, table.in(b));
        return {::ChannelMapEx(d.first(), d.stride(), s.first(), s.stride(), channel, width, height, table.in(b)), {}};
      };
    };
    const std::string what = Describe("ChannelMapEx", width, height, n) + " channel " +
                             std::to_string(channel) + (inPlace ? " in place" : "");
    if (!MatchesOracle(what, layouts, RandomBytes(n), call(false), call(true))) return;
  }
}

TEST(PixelOracle, ChannelMergeLut) {
  Rng rng(107);
  const std::int32_t counts[] = {0, 1, 2, 3, 3, 4, 4, -1, 5, 9, INT32_MIN, INT32_MAX};
  for (int n = 0; n < kCases; ++n) {
    const std::int32_t height = RandomHeight(rng), width = RandomWidth(rng);
    const std::int32_t count = counts[rng.Int(0, 11)];
    std::vector<BufferLayout> layouts{{4 * Elements(width), Rows(height), RandomShape(rng)}};
    const TableAt table = AddTable(layouts, rng);
    const auto call = [&](bool ref) {
      return [=](Buffers& b) -> Outcome {
        if (ref) return oracle::ChannelMergeLut(b[0]->first(), b[0]->stride(), count, width, height, table.in(b));
        return {::ChannelMergeLut(b[0]->first(), b[0]->stride(), count, width, height, table.in(b)), {}};
      };
    };
    const std::string what = Describe("ChannelMergeLut", width, height, n) + " count " + std::to_string(count);
    const Prepare prepare = n % 2 ? RandomBytes(n) : FewValues(n, 0);
    if (!MatchesOracle(what, layouts, prepare, call(false), call(true))) return;
  }
}

TEST(PixelOracle, ConvertARGBToARGBFloat) {
  Rng rng(108);
  for (int n = 0; n < kCases; ++n) {
    const std::int32_t height = RandomHeight(rng), width = RandomWidth(rng);
    std::vector<BufferLayout> layouts{{16 * Elements(width), Rows(height), RandomShape(rng, 37)},
                                  {4 * Elements(width), Rows(height), RandomShape(rng)}};
    const auto call = [&](bool ref) {
      return [=](Buffers& b) -> Outcome {
        if (ref)
          return oracle::ConvertARGBToARGBFloat(b[0]->first(), b[0]->stride(), b[1]->first(), b[1]->stride(), width, height);
        return {::ConvertARGBToARGBFloat(b[0]->floats(), b[0]->stride(), b[1]->first(), b[1]->stride(), width, height), {}};
      };
    };
    if (!MatchesOracle(Describe("ConvertARGBToARGBFloat", width, height, n), layouts, RandomBytes(n),
                       call(false), call(true)))
      return;
  }
}

TEST(PixelOracle, ConvertARGBFloatToARGB) {
  Rng rng(109);
  for (int n = 0; n < kCases; ++n) {
    const std::int32_t height = RandomHeight(rng), width = RandomWidth(rng);
    std::vector<BufferLayout> layouts{{4 * Elements(width), Rows(height), RandomShape(rng)},
                                  {16 * Elements(width), Rows(height), RandomShape(rng, 37)}};
    const auto call = [&](bool ref) {
      return [=](Buffers& b) -> Outcome {
        if (ref)
          return oracle::ConvertARGBFloatToARGB(b[0]->first(), b[0]->stride(), b[1]->first(), b[1]->stride(), width, height);
        return {::ConvertARGBFloatToARGB(b[0]->first(), b[0]->stride(), b[1]->floats(), b[1]->stride(), width, height), {}};
      };
    };
    if (!MatchesOracle(Describe("ConvertARGBFloatToARGB", width, height, n), layouts, WithFloats(n, 1),
                       call(false), call(true)))
      return;
  }
}

TEST(PixelOracle, ConvertChannelToFloatMask) {
  Rng rng(110);
  const std::int32_t channels[] = {0, 1, 2, 3, 0, 1, 2, 3, 4, 7, -1, INT32_MIN};
  for (int n = 0; n < kCases; ++n) {
    const std::int32_t height = RandomHeight(rng), width = RandomWidth(rng);
    const std::int32_t channel = channels[rng.Int(0, 11)];
    std::vector<BufferLayout> layouts{{4 * Elements(width), Rows(height), RandomShape(rng)},
                                  {4 * Elements(width), Rows(height), RandomShape(rng)}};
    const TableAt table = AddTable(layouts, rng);
    const auto call = [&](bool ref) {
      return [=](Buffers& b) -> Outcome {
        if (ref)
          return oracle::ConvertChannelToFloatMask(b[0]->first(), b[0]->stride(), b[1]->first(), b[1]->stride(),
                                                   channel, width, height, table.in(b));
        return {::ConvertChannelToFloatMask(b[0]->floats(), b[0]->stride(), b[1]->first(), b[1]->stride(), channel,
                                            width, height, reinterpret_cast<const float*>(table.in(b))),
                {}};
      };
    };
    const std::string what = Describe("ConvertChannelToFloatMask", width, height, n) + " channel " +
                             std::to_string(channel);
    // Random table bytes include NaNs with payloads: they must arrive as they are.
    if (!MatchesOracle(what, layouts, RandomBytes(n), call(false), call(true))) return;
  }
}

TEST(PixelOracle, ConvertFloatMaskToARGB) {
  Rng rng(111);
  for (int n = 0; n < kCases; ++n) {
    const std::int32_t height = RandomHeight(rng), width = RandomWidth(rng);
    std::vector<BufferLayout> layouts{{4 * Elements(width), Rows(height), RandomShape(rng)},
                                  {4 * Elements(width), Rows(height), RandomShape(rng)}};
    const auto call = [&](bool ref) {
      return [=](Buffers& b) -> Outcome {
        if (ref)
          return oracle::ConvertFloatMaskToARGB(b[0]->first(), b[0]->stride(), b[1]->first(), b[1]->stride(), width, height);
        return {::ConvertFloatMaskToARGB(b[0]->first(), b[0]->stride(), b[1]->floats(), b[1]->stride(), width, height), {}};
      };
    };
    if (!MatchesOracle(Describe("ConvertFloatMaskToARGB", width, height, n), layouts, WithFloats(n, 1),
                       call(false), call(true)))
      return;
  }
}

// The worked numbers of the operations' definitions, through the exports and
// the references alike (so the references are checked too).
TEST(PixelOracle, WorkedExamples) {
  struct Rounding {
    float in;
    std::uint8_t out;
  };
  const Rounding roundings[] = {{0.5f, 0},     {1.5f, 2},     {254.5f, 254}, {-3.7f, 0},
                                {255.6f, 255}, {127.5f, 128}, {128.5f, 128}, {64.0f, 64}};
  for (const CpuPath& path : CpuPaths()) {
    const PinnedCpuPath pin(path);
    for (const Rounding& r : roundings) {
      FpStateGuard guard;
      SetHostRounding(kFpRoundTowardZero);
      std::uint8_t px[4] = {}, ref[4] = {};
      ::ConvertFloatMaskToARGB(px, 4, &r.in, 4, 1, 1);
      oracle::ConvertFloatMaskToARGB(ref, 4, reinterpret_cast<const std::uint8_t*>(&r.in), 4, 1, 1);
      for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(px[k], r.out) << path.label << " mask " << r.in;
        EXPECT_EQ(ref[k], r.out) << "reference, mask " << r.in;
      }
      const float four[4] = {r.in, r.in, r.in, r.in};
      std::uint8_t argb[4] = {};
      ::ConvertARGBFloatToARGB(argb, 16, four, 16, 1, 1);
      for (int k = 0; k < 4; ++k) EXPECT_EQ(argb[k], r.out) << path.label << " pixel " << r.in;
      EXPECT_EQ(ReadFpState().mxcsr & 0x6000u, 0x6000u) << "host rounding restored";
    }

    // ChannelMergeLut: (200, 100, 50, 255) with 3 channels looks up entry 255;
    // with 0 channels every pixel takes entry 0.
    std::uint8_t table[1024];
    for (int i = 0; i < 256; ++i) oracle::WriteWord(table + 4 * i, 0x01000000u * static_cast<std::uint32_t>(i) + 7);
    std::uint8_t pixel[4] = {200, 100, 50, 255};
    ::ChannelMergeLut(pixel, 4, 3, 1, 1, table);
    EXPECT_EQ(oracle::ReadWord(pixel), 0xFF000007u) << path.label;
    std::uint8_t zero[4] = {9, 9, 9, 9};
    ::ChannelMergeLut(zero, 4, 0, 1, 1, table);
    EXPECT_EQ(oracle::ReadWord(zero), 0x00000007u) << path.label;
  }
}

}  // namespace
}  // namespace morvex::test
