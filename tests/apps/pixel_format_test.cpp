// Loading every kind of PNG into premultiplied BGRA, and the conversions
// between straight and premultiplied alpha in both directions.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>

#include "cli_harness.h"
#include "core/image.h"
#include "files/png_io.h"

namespace morvex::test {
namespace {

using cli::PremultiplyChannel;
using cli::ScaleToByte;
using cli::UnpremultiplyChannel;

// Every result is the nearest integer to the exact quotient.
TEST(PixelFormat, ConversionsAreCorrectlyRounded) {
  for (int a = 0; a <= 255; ++a)
    for (int c = 0; c <= 255; ++c) {
      const int p = PremultiplyChannel(c, a, 255);
      ASSERT_LE(std::abs(2 * (255 * p - c * a)), 255) << c << " " << a;
      if (a == 0) {
        ASSERT_EQ(UnpremultiplyChannel(c, a), 0);
        continue;
      }
      const int s = UnpremultiplyChannel(c, a);
      if (2 * c * 255 >= 511 * a) {
        ASSERT_EQ(s, 255) << c << " " << a;  // above the alpha: clamped
      } else {
        ASSERT_LE(std::abs(2 * (s * a - c * 255)), a) << c << " " << a;
        // Halves go up.
        if (2 * (s * a - c * 255) == -a) ADD_FAILURE() << "half went down: " << c << " " << a;
      }
    }
  for (int v = 0; v <= 255; ++v) EXPECT_EQ(ScaleToByte(v * 257, 65535), v);
  EXPECT_EQ(ScaleToByte(128, 65535), 0);
  EXPECT_EQ(ScaleToByte(129, 65535), 1);
}

TEST(PixelFormat, RoundTrips) {
  for (int a = 0; a <= 255; ++a)
    for (int c = 0; c <= 255; ++c) {
      // Opaque pixels come back unchanged.
      if (a == 255) {
        ASSERT_EQ(UnpremultiplyChannel(PremultiplyChannel(c, 255, 255), 255), c);
      }
      // A premultiplied value (never above its alpha) survives save and load.
      if (c <= a) {
        ASSERT_EQ(PremultiplyChannel(UnpremultiplyChannel(c, a), a, 255), c) << c << " " << a;
      }
      // Straight colour survives load and save within one level from alpha 128.
      if (a >= 128) {
        const int back = UnpremultiplyChannel(PremultiplyChannel(c, a, 255), a);
        ASSERT_LE(std::abs(back - c), 1) << c << " " << a;
      }
    }
}

// 16-bit samples premultiply from their full precision, and samples that are
// exact 8-bit values (v * 257) give the 8-bit results.
TEST(PixelFormat, SixteenBitPremultiply) {
  Rng rng(16);
  for (int i = 0; i < 200000; ++i) {
    const std::uint64_t c = rng.U32() & 0xFFFF, a = rng.U32() & 0xFFFF;
    const std::uint64_t p = PremultiplyChannel(std::uint32_t(c), std::uint32_t(a), 65535);
    const std::uint64_t m2 = 65535ull * 65535ull;
    const std::int64_t diff = std::int64_t(2 * p * m2) - std::int64_t(2 * c * a * 255);
    ASSERT_LE(std::llabs(diff), std::int64_t(m2)) << c << " " << a;
    ASSERT_LE(p, ScaleToByte(std::uint32_t(a), 65535));
  }
  for (int a = 0; a <= 255; a += 5)
    for (int c = 0; c <= 255; ++c)
      ASSERT_EQ(PremultiplyChannel(c * 257, a * 257, 65535), PremultiplyChannel(c, a, 255));
}

struct LoadCase {
  const char* name;
  int colorType;
  int depth;
  bool trns;
  bool interlaced;
};

// Packs samples of `depth` bits, most significant first, rows padded to bytes.
std::vector<std::uint8_t> Pack(const std::vector<std::uint32_t>& samples, std::size_t perRow,
                               int depth) {
  std::vector<std::uint8_t> out;
  for (std::size_t row = 0; row < samples.size() / perRow; ++row) {
    std::uint32_t acc = 0;
    int bits = 0;
    for (std::size_t i = 0; i < perRow; ++i) {
      const std::uint32_t v = samples[row * perRow + i];
      if (depth == 16) {
        out.push_back(std::uint8_t(v >> 8));
        out.push_back(std::uint8_t(v));
        continue;
      }
      acc = acc << depth | v;
      bits += depth;
      if (bits == 8) {
        out.push_back(std::uint8_t(acc));
        acc = 0;
        bits = 0;
      }
    }
    if (bits) out.push_back(std::uint8_t(acc << (8 - bits)));
  }
  return out;
}

class LoadPng : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadPng, GivesPremultipliedPixels) {
  const LoadCase& tc = GetParam();
  const std::int32_t w = 13, h = 5;
  const std::uint32_t rawMax = (1u << tc.depth) - 1;
  const std::uint32_t outMax = tc.depth == 16 ? 65535 : 255;
  const bool palette = tc.colorType == PNG_COLOR_TYPE_PALETTE;
  const int channels = palette                                     ? 1
                       : tc.colorType == PNG_COLOR_TYPE_GRAY       ? 1
                       : tc.colorType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                       : tc.colorType == PNG_COLOR_TYPE_RGB        ? 3
                                                                   : 4;
  Rng rng(tc.depth * 31 + tc.colorType * 7 + tc.trns);
  std::vector<std::uint8_t> plte, trnsBytes;
  std::uint32_t key[3] = {0, 0, 0};
  const std::uint32_t entries = palette ? rawMax + 1 : 0;
  for (std::uint32_t i = 0; i < entries * 3; ++i) plte.push_back(rng.Byte());
  if (tc.trns) {
    if (palette) {
      for (std::uint32_t i = 0; i < entries / 2 + 1 && i < entries; ++i)
        trnsBytes.push_back(rng.Byte());
    } else {
      for (int k = 0; k < 3; ++k) {
        key[k] = rng.U32() & rawMax;
        trnsBytes.push_back(std::uint8_t(key[k] >> 8));
        trnsBytes.push_back(std::uint8_t(key[k]));
      }
    }
  }
  std::vector<std::uint32_t> raw(std::size_t(w) * h * channels);
  cli::StraightPixels expected;
  expected.width = w;
  expected.height = h;
  expected.maxValue = outMax;
  expected.rgba.resize(std::size_t(w) * h * 4);
  const std::uint32_t scale = tc.depth < 8 ? 255 / rawMax : 1;
  for (std::size_t px = 0; px < std::size_t(w) * h; ++px) {
    std::uint32_t* s = &raw[px * channels];
    for (int k = 0; k < channels; ++k) s[k] = rng.U32() & rawMax;
    const bool keyed = tc.trns && !palette && rng.Int(0, 3) == 0;
    if (keyed)
      for (int k = 0; k < channels; ++k) s[k] = key[k];
    std::uint16_t* e = &expected.rgba[px * 4];
    if (palette) {
      for (int k = 0; k < 3; ++k) e[k] = plte[s[0] * 3 + k];
      e[3] = s[0] < trnsBytes.size() ? trnsBytes[s[0]] : 255;
    } else if (channels <= 2) {
      e[0] = e[1] = e[2] = std::uint16_t(s[0] * scale);
      e[3] = channels == 2 ? std::uint16_t(s[1]) : std::uint16_t(outMax);
    } else {
      for (int k = 0; k < 3; ++k) e[k] = std::uint16_t(s[k]);
      e[3] = channels == 4 ? std::uint16_t(s[3]) : std::uint16_t(outMax);
    }
    if (tc.trns && !palette) {
      bool match = true;
      for (int k = 0; k < (channels == 1 ? 1 : 3); ++k) match = match && s[k] == key[k];
      if (match) e[3] = 0;
    }
  }
  ScratchDir dir;
  const std::string in = dir / "in.png", out = dir / "out.png";
  WriteRawPng(in, w, h, tc.colorType, tc.depth, Pack(raw, std::size_t(w) * channels, tc.depth),
              plte, trnsBytes, tc.interlaced);
  cli::PngInfo info;
  const cli::Image loaded = cli::LoadPng(in, &info);
  const cli::Image want = cli::Premultiply(expected);
  EXPECT_EQ(info.bitDepth, tc.depth);
  EXPECT_EQ(info.colorType, tc.colorType);
  EXPECT_EQ(info.interlaced, tc.interlaced);
  ASSERT_EQ(loaded.width, w);
  ASSERT_EQ(loaded.height, h);
  EXPECT_EQ(loaded.pixels, want.pixels);

  // Through the tool: copying a channel onto itself changes nothing.
  const CliRun run = RunCli({"copy-channel", in, out, "--from", "red", "--to", "red"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadRgba8(out), SavedBytes(want));
}

INSTANTIATE_TEST_SUITE_P(
    AllKinds, LoadPng,
    ::testing::Values(LoadCase{"gray1", PNG_COLOR_TYPE_GRAY, 1, false, false},
                      LoadCase{"gray2trns", PNG_COLOR_TYPE_GRAY, 2, true, false},
                      LoadCase{"gray4interlaced", PNG_COLOR_TYPE_GRAY, 4, false, true},
                      LoadCase{"gray8trns", PNG_COLOR_TYPE_GRAY, 8, true, false},
                      LoadCase{"gray16", PNG_COLOR_TYPE_GRAY, 16, false, false},
                      LoadCase{"gray16trns", PNG_COLOR_TYPE_GRAY, 16, true, false},
                      LoadCase{"grayAlpha8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, false},
                      LoadCase{"grayAlpha16", PNG_COLOR_TYPE_GRAY_ALPHA, 16, false, false},
                      LoadCase{"rgb8", PNG_COLOR_TYPE_RGB, 8, false, false},
                      LoadCase{"rgb8trns", PNG_COLOR_TYPE_RGB, 8, true, false},
                      LoadCase{"rgb16trns", PNG_COLOR_TYPE_RGB, 16, true, false},
                      LoadCase{"rgba8", PNG_COLOR_TYPE_RGBA, 8, false, false},
                      LoadCase{"rgba8interlaced", PNG_COLOR_TYPE_RGBA, 8, false, true},
                      LoadCase{"rgba16", PNG_COLOR_TYPE_RGBA, 16, false, false},
                      LoadCase{"palette1", PNG_COLOR_TYPE_PALETTE, 1, false, false},
                      LoadCase{"palette2trns", PNG_COLOR_TYPE_PALETTE, 2, true, false},
                      LoadCase{"palette4trns", PNG_COLOR_TYPE_PALETTE, 4, true, true},
                      LoadCase{"palette8trns", PNG_COLOR_TYPE_PALETTE, 8, true, false}),
    [](const ::testing::TestParamInfo<LoadCase>& info) { return info.param.name; });

}  // namespace
}  // namespace morvex::test
