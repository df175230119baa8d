// Each subcommand writes exactly the pixels the library gives for the same
// direct call on the same premultiplied input.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

#include "cli_harness.h"
#include "exports/export_table.h"
#include "frame/cpu_features.h"
#include "frame/dispatch.h"
#include "morvex/native.h"
#include "files/image_io.h"
#include "core/ops.h"
#include "core/tables.h"

namespace morvex::test {
namespace {

using cli::Image;

struct Shape {
  std::int32_t width, height;
};
// The last is tall enough for the tool to split per-pixel work into bands of rows.
constexpr Shape kShapes[] = {{1, 1}, {7, 3}, {33, 17}, {5, 70}};

// The files of one run: a random image, a second one of the same size, and a
// weight image (its straight bytes in the library's order).
struct Inputs {
  Image in, other, weights;
};

// Runs `args` on random inputs of every shape and compares the written file
// with `direct` applied to the same inputs. In `args`, IN, OTHER and MASK
// name the input files and OUT the output file.
void ExpectSameAsDirect(const std::vector<std::string>& args,
                        const std::function<Image(const Inputs&)>& direct, std::uint64_t seed,
                        std::size_t firstShape = 0) {
  for (std::size_t s = firstShape; s < std::size(kShapes); ++s) {
    const Shape shape = kShapes[s];
    ScratchDir dir;
    Rng rng(seed * 1000 + shape.width);
    Inputs inputs;
    inputs.in = WriteRandomPng(rng, dir / "in.png", shape.width, shape.height);
    inputs.other = WriteRandomPng(rng, dir / "other.png", shape.width, shape.height);
    const auto rgba = RandomRgba(rng, shape.width, shape.height);
    WriteRawPng(dir / "mask.png", shape.width, shape.height, PNG_COLOR_TYPE_RGBA, 8, rgba);
    inputs.weights = Image(shape.width, shape.height);
    for (std::size_t i = 0; i < rgba.size(); i += 4) {
      inputs.weights.pixels[i] = rgba[i + 2];
      inputs.weights.pixels[i + 1] = rgba[i + 1];
      inputs.weights.pixels[i + 2] = rgba[i];
      inputs.weights.pixels[i + 3] = rgba[i + 3];
    }
    std::vector<std::string> words;
    for (const auto& a : args)
      words.push_back(a == "IN"      ? dir / "in.png"
                      : a == "OUT"   ? dir / "out.png"
                      : a == "OTHER" ? dir / "other.png"
                      : a == "MASK"  ? dir / "mask.png"
                                     : a);
    const CliRun run = RunCli(words);
    ASSERT_EQ(run.exitCode, 0) << args[0] << ": " << run.err;
    const Image expected = direct(inputs);
    std::int32_t w, h;
    const auto got = ReadRgba8(dir / "out.png", &w, &h);
    ASSERT_EQ(w, expected.width);
    ASSERT_EQ(h, expected.height);
    EXPECT_EQ(got, SavedBytes(expected)) << args[0] << " " << shape.width << "x" << shape.height;
  }
}

void ExpectSameAsDirect(const std::vector<std::string>& args,
                        const std::function<Image(const Image&)>& direct, std::uint64_t seed) {
  ExpectSameAsDirect(
      args, [&](const Inputs& inputs) { return direct(inputs.in); }, seed);
}

// `base` followed by `options`.
[[maybe_unused]] std::vector<std::string> With(std::vector<std::string> base,
                                               const std::vector<std::string>& options) {
  base.insert(base.end(), options.begin(), options.end());
  return base;
}

TEST(CliCommands, Info) {
  ScratchDir dir;
  // 16-bit gray+alpha: opaque, transparent and half-transparent pixels.
  const std::vector<std::uint8_t> samples = {0x12, 0x34, 0xFF, 0xFF, 0xAB, 0xCD, 0x00, 0x00,
                                             0x80, 0x00, 0x80, 0x00};
  WriteRawPng(dir / "ga16.png", 3, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 16, samples);
  const CliRun run = RunCli({"info", dir / "ga16.png"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("size:          3 x 1 pixels\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("stored as:     16-bit gray+alpha\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("alpha:         1 opaque, 1 translucent, 1 transparent\n"),
            std::string::npos)
      << run.out;
}

TEST(CliCommands, CopyChannel) {
  const struct {
    const char* from;
    const char* to;
    int fromIndex, toIndex;
  } routes[] = {{"red", "blue", 2, 0}, {"alpha", "green", 3, 1}, {"blue", "alpha", 0, 3}};
  for (const auto& r : routes)
    ExpectSameAsDirect(
        {"copy-channel", "IN", "OUT", "--from", r.from, "--to", r.to},
        [&](const Image& in) {
          Image out = in;
          ChannelCopy(out.pixels.data() + r.toIndex, 0, 4, in.width * in.height, 1,
                      in.pixels.data() + r.fromIndex, 0, 4);
          return out;
        },
        2);
}

Image DirectBlur(const Image& in, double sx, double sy, const std::vector<double>& rows,
                 const std::vector<double>& columns) {
  Image out = in;
  std::vector<float> temp(std::size_t(in.width) * in.height * 4);
  EXPECT_EQ(GaussianBlur(out.pixels.data(), out.stride(), 4, in.width, in.height, temp.data(),
                         static_cast<std::int32_t>(temp.size() * 4), sx, sy,
                         rows.empty() ? nullptr : rows.data(),
                         columns.empty() ? nullptr : columns.data()),
            1);
  return out;
}

// Sigma r of a ramp FROM,TO over n rows or columns.
std::vector<double> Ramp(double from, double to, std::int32_t n) {
  std::vector<double> v;
  for (std::int32_t i = 0; i < n; ++i) v.push_back(n > 1 ? from + (to - from) * i / (n - 1) : from);
  return v;
}

TEST(CliCommands, Blur) {
  ExpectSameAsDirect(
      {"blur", "IN", "OUT", "--sigma", "1.5"},
      [](const Image& in) { return DirectBlur(in, 1.5, 1.5, {}, {}); }, 10);
  ExpectSameAsDirect(
      {"blur", "IN", "OUT", "--sigma-x=3", "--sigma-y", "0.7", "--precision", "8bit"},
      [](const Image& in) { return DirectBlur(in, 3, 0.7, {}, {}); }, 11);
  ExpectSameAsDirect(
      {"blur", "IN", "OUT", "--sigma", "9", "--row-ramp", "0,6", "--column-ramp", "4,1"},
      [](const Image& in) {
        return DirectBlur(in, 9, 9, Ramp(0, 6, in.height), Ramp(4, 1, in.width));
      },
      12);
}

// A sigma of 0 leaves its direction alone: on columns that are each one
// colour, a vertical-only blur changes nothing, a horizontal-only one does.
TEST(CliCommands, BlurSigmaZeroLeavesThatDirection) {
  ScratchDir dir;
  const std::int32_t w = 23, h = 9;
  std::vector<std::uint8_t> rgb;
  for (std::int32_t y = 0; y < h; ++y)
    for (std::int32_t x = 0; x < w; ++x)
      for (int k = 0; k < 3; ++k) rgb.push_back(std::uint8_t((x * 53 + k * 90) % 256));
  WriteRawPng(dir / "in.png", w, h, PNG_COLOR_TYPE_RGB, 8, rgb);
  const std::vector<std::uint8_t> in = ReadRgba8(dir / "in.png");
  const struct {
    std::vector<std::string> options;
    bool changes;
  } cases[] = {{{"--sigma", "0"}, false},
               {{"--sigma-x", "0", "--sigma-y", "3"}, false},
               {{"--sigma-x", "0", "--sigma-y", "3", "--precision", "float"}, false},
               {{"--sigma-x", "0", "--column-ramp", "0,8"}, false},
               {{"--sigma-x", "3", "--sigma-y", "0"}, true},
               {{"--row-ramp", "0,5", "--sigma-y", "0"}, true}};
  for (const auto& tc : cases) {
    const CliRun run = RunCli(With({"blur", dir / "in.png", dir / "out.png", "-y"}, tc.options));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadRgba8(dir / "out.png") != in, tc.changes) << tc.options[1] << tc.options[3];
  }
}

TEST(CliCommands, BlurInFloat) {
  ExpectSameAsDirect(
      {"blur", "IN", "OUT", "--sigma", "2.5", "--precision", "float"},
      [](const Image& in) {
        const std::int32_t fs = in.width * 16;
        std::vector<float> f(std::size_t(in.width) * in.height * 4), temp(f.size());
        auto* fb = reinterpret_cast<std::uint8_t*>(f.data());
        ConvertARGBToARGBFloat(f.data(), fs, in.pixels.data(), in.stride(), in.width, in.height);
        EXPECT_EQ(
            GaussianBlur(fb, fs, 16, in.width, in.height, temp.data(),
                         static_cast<std::int32_t>(temp.size() * 4), 2.5, 2.5, nullptr, nullptr),
            1);
        Image out(in.width, in.height);
        ConvertARGBFloatToARGB(out.pixels.data(), out.stride(), f.data(), fs, in.width, in.height);
        return out;
      },
      13);
}

TEST(CliCommands, BlurAlpha) {
  const struct {
    std::vector<std::string> options;
    int channel;
    double sigma, scale, offset;
    // clang-format off
  } cases[] = {{{"--sigma", "2"}, 3, 2, 1, 0},
               {{"--channel", "red", "--sigma", "4", "--scale", "-1", "--offset", "255"},
                2, 4, -1, 255},
               {{"--scale", "0.5", "--offset=-3"}, 3, 2, 0.5, -3}};
  // clang-format on
  for (const auto& tc : cases) {
    ExpectSameAsDirect(
        With({"blur-alpha", "IN", "OUT"}, tc.options),
        [&](const Image& in) {
          Image out = in;
          std::vector<float> temp(std::size_t(in.width) * in.height);
          EXPECT_EQ(
              GaussianBlurMask(out.pixels.data() + tc.channel, out.stride(), 4, in.width, in.height,
                               temp.data(), static_cast<std::int32_t>(temp.size() * 4), tc.sigma,
                               tc.sigma, tc.scale, tc.offset, nullptr, nullptr),
              1);
          return out;
        },
        20 + tc.channel);
  }
}

TEST(CliCommands, Desaturate) {
  for (const bool alpha : {false, true}) {
    std::vector<std::string> args = {"desaturate", "IN", "OUT"};
    if (alpha) args.push_back("--alpha");
    ExpectSameAsDirect(
        args,
        [&](const Image& in) {
          Image out = in;
          Desaturate(out.pixels.data(), out.stride(), in.width, in.height, alpha);
          return out;
        },
        30);
  }
}

TEST(CliCommands, Hsl) {
  const struct {
    std::vector<std::string> options;
    double hs, ss, ls, ho, so, lo;
    // clang-format off
  } cases[] = {
      {{"--hue-shift", "120", "--wrap"}, 1, 1, 1, 120 / 360.0, 0, 0},
      {{"--hue-scale", "0.5", "--saturation-scale", "0", "--lightness-scale", "1.1",
        "--saturation-offset", "0.25", "--lightness-offset", "-0.1", "--hue-shift", "-45",
        "--wrap"},
       0.5, 0, 1.1, -45 / 360.0, 0.25, -0.1},
      {{"--saturation-scale", "1.5", "--lightness-scale", "1.3", "--hue-shift", "500", "--wrap"},
       1, 1.5, 1.3, 500 / 360.0, 0, 0},
  };
  // clang-format on
  for (const auto& tc : cases) {
    ExpectSameAsDirect(
        With({"hsl", "IN", "OUT"}, tc.options),
        [&](const Image& in) {
          Image out = in;
          HslScaleOffset(out.pixels.data(), out.stride(), in.width, in.height, tc.hs, tc.ss, tc.ls,
                         tc.ho, tc.so, tc.lo);
          return out;
        },
        40);
  }
}

// Standard HSL conversions in double precision, a reference for the clamped
// adjustment (to within rounding).
void ToHsl(double r, double g, double b, double* h, double* s, double* l) {
  const double hi = std::max({r, g, b}), lo = std::min({r, g, b}), d = hi - lo;
  *l = (hi + lo) / 2;
  *s = d == 0 ? 0 : d / (1 - std::fabs(2 * *l - 1));
  if (d == 0)
    *h = 0;
  else if (hi == r)
    *h = std::fmod((g - b) / d + 6, 6) / 6;
  else if (hi == g)
    *h = ((b - r) / d + 2) / 6;
  else
    *h = ((r - g) / d + 4) / 6;
}

double FromHsl(double h, double s, double l, double shift) {
  const double t = h + shift - std::floor(h + shift);
  const double q = l < 0.5 ? l * (1 + s) : l + s - l * s, p = 2 * l - q;
  if (t < 1 / 6.0) return p + (q - p) * 6 * t;
  if (t < 0.5) return q;
  if (t < 2 / 3.0) return p + (q - p) * (2 / 3.0 - t) * 6;
  return p;
}

// By default saturation and lightness stay within 0..1 and any hue shift
// works: no channel wraps around, whatever the scales.
TEST(CliCommands, HslLimitsSaturationAndLightness) {
  const struct {
    std::vector<std::string> options;
    double ss, ls, hueDegrees, so, lo;
  } cases[] = {
      {{"--hue-shift", "120", "--saturation-scale", "1.2"}, 1.2, 1, 120, 0, 0},
      {{"--hue-shift", "480", "--saturation-scale", "3", "--lightness-scale", "1.4"}, 3, 1.4, 480,
       0, 0},
      {{"--hue-shift", "-200", "--saturation-offset", "-0.3", "--lightness-offset", "0.2"}, 1, 1,
       -200, -0.3, 0.2},
      {{"--hue-shift", "250", "--lightness-scale", "0.2", "--saturation-offset", "0.5",
        "--lightness-offset", "-0.05"},
       1, 0.2, 250, 0.5, -0.05},
  };
  ScratchDir dir;
  Rng rng(42);
  const std::int32_t w = 40, h = 25;
  std::vector<std::uint8_t> rgb(std::size_t(w) * h * 3);
  rng.Fill(rgb.data(), rgb.size());
  WriteRawPng(dir / "in.png", w, h, PNG_COLOR_TYPE_RGB, 8, rgb);
  for (const auto& tc : cases) {
    const CliRun run = RunCli(With({"hsl", dir / "in.png", dir / "out.png", "-y"}, tc.options));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto got = ReadRgba8(dir / "out.png");
    for (std::size_t i = 0; i < std::size_t(w) * h; ++i) {
      double hue, s, l;
      ToHsl(rgb[i * 3] / 255.0, rgb[i * 3 + 1] / 255.0, rgb[i * 3 + 2] / 255.0, &hue, &s, &l);
      s = std::clamp(s * tc.ss + tc.so, 0.0, 1.0);
      l = std::clamp(l * tc.ls + tc.lo, 0.0, 1.0);
      const double shift = tc.hueDegrees / 360;
      const double want[3] = {FromHsl(hue, s, l, shift + 1 / 3.0), FromHsl(hue, s, l, shift),
                              FromHsl(hue, s, l, shift - 1 / 3.0)};
      for (int k = 0; k < 3; ++k)
        ASSERT_LE(std::fabs(got[i * 4 + k] - want[k] * 255), 1.0)
            << tc.options[1] << ": pixel " << i << " channel " << k;
    }
  }
  // Pixels the limits do not touch are exactly those of the one-call --wrap.
  const CliRun wrapped = RunCli(With({"hsl", dir / "in.png", dir / "wrap.png", "--wrap"},
                                     cases[0].options));
  ASSERT_EQ(wrapped.exitCode, 0) << wrapped.err;
  ASSERT_EQ(RunCli(With({"hsl", dir / "in.png", dir / "out.png", "-y"}, cases[0].options)).exitCode,
            0);
  const auto clamped = ReadRgba8(dir / "out.png"), raw = ReadRgba8(dir / "wrap.png");
  std::size_t same = 0;
  for (std::size_t i = 0; i < std::size_t(w) * h; ++i) {
    double s, l;
    const std::uint8_t bgr[3] = {rgb[i * 3 + 2], rgb[i * 3 + 1], rgb[i * 3]};
    cli::PixelSaturationLightness(bgr, &s, &l);
    if (s * 1.2 > 1) continue;
    ++same;
    for (int k = 0; k < 4; ++k) ASSERT_EQ(clamped[i * 4 + k], raw[i * 4 + k]) << i;
  }
  EXPECT_GT(same, std::size_t(w) * h / 4);
}

// The tool's saturation and lightness are the library's to the last bit: fed
// back as offsets (scales 0) they reproduce the identity call.
TEST(CliCommands, HslSaturationLightnessMatchTheLibrary) {
  Rng rng(43);
  for (int trial = 0; trial < 5000; ++trial) {
    std::uint8_t px[4];
    rng.Fill(px, 4);
    double s, l;
    cli::PixelSaturationLightness(px, &s, &l);
    std::uint8_t same[4], again[4];
    std::copy(px, px + 4, same);
    std::copy(px, px + 4, again);
    HslScaleOffset(same, 4, 1, 1, 1, 1, 1, 0, 0, 0);
    HslScaleOffset(again, 4, 1, 1, 1, 0, 0, 0, s, l);
    ASSERT_TRUE(std::equal(same, same + 4, again)) << int(px[0]) << " " << int(px[1]) << " "
                                                  << int(px[2]);
  }
}

TEST(CliCommands, HistogramPrintsAndPlotsCounts) {
  ScratchDir dir;
  Rng rng(50);
  const Image in = WriteRandomPng(rng, dir / "in.png", 23, 11);
  std::int32_t counts[4][256];
  const std::int32_t peak = Histogram(in.pixels.data(), in.stride(), in.width, in.height, counts[0],
                                      counts[1], counts[2], counts[3]);
  const CliRun run = RunCli({"histogram", dir / "in.png"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::istringstream lines(run.out);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "value\tred\tgreen\tblue\tluma");
  for (int v = 0; v < 256; ++v) {
    std::getline(lines, line);
    std::ostringstream want;
    want << v << '\t' << counts[0][v] << '\t' << counts[1][v] << '\t' << counts[2][v] << '\t'
         << counts[3][v];
    ASSERT_EQ(line, want.str());
  }
  std::getline(lines, line);
  EXPECT_EQ(line, "peak\t" + std::to_string(peak));

  // The plot: four panels of 96 rows, bars two pixels wide whose height is
  // the count scaled to the peak, rounded.
  const CliRun plot = RunCli({"histogram", dir / "in.png", "--plot", dir / "plot.png"});
  ASSERT_EQ(plot.exitCode, 0) << plot.err;
  EXPECT_EQ(plot.out, "");
  std::int32_t w, h;
  const auto rgba = ReadRgba8(dir / "plot.png", &w, &h);
  ASSERT_EQ(w, 512);
  ASSERT_EQ(h, 4 * 96 + 3 * 4);
  for (int s = 0; s < 4; ++s)
    for (int v = 0; v < 256; ++v) {
      const std::int32_t want = (std::int64_t(counts[s][v]) * 96 + peak / 2) / peak;
      const std::int32_t x = v * 2 + 1, bottom = s * 100 + 95;
      std::int32_t bar = 0;
      while (bar < 96 && rgba[(std::size_t(bottom - bar) * w + x) * 4] != 24) ++bar;
      ASSERT_EQ(bar, want) << "panel " << s << " value " << v;
    }
}

TEST(CliCommands, Blur3x3) {
  for (const int passes : {1, 3}) {
    ExpectSameAsDirect(
        {"blur3x3", "IN", "OUT", "--passes", std::to_string(passes)},
        [&](const Image& in) {
          Image a = in;
          for (int i = 0; i < passes; ++i) {
            Image b(in.width, in.height);
            Blur3x3(b.pixels.data(), b.stride(), a.pixels.data(), a.stride(), in.width, in.height);
            a = b;
          }
          return a;
        },
        60);
  }
}

TEST(CliCommands, Edges) {
  const struct {
    std::vector<std::string> options;
    bool gray;
    double threshold;
    // clang-format off
  } cases[] = {{{}, false, 0.1},
               {{"--threshold", "0.3"}, false, 0.3},
               {{"--gray", "--threshold", "0"}, true, 0}};
  // clang-format on
  for (const auto& tc : cases) {
    ExpectSameAsDirect(
        With({"edges", "IN", "OUT"}, tc.options),
        [&](const Image& in) {
          Image out(in.width, in.height);
          EdgeDetect(out.pixels.data(), out.stride(), in.pixels.data(), in.stride(), in.width,
                     in.height, tc.gray, tc.threshold);
          return out;
        },
        70);
  }
}

TEST(CliCommands, RadialBlur) {
  const struct {
    std::vector<std::string> options;
    bool middle;  // centre at the middle of the image
    double cx, cy, sx, sy, gain;
    unsigned channels;
    // clang-format off
  } cases[] = {
      {{}, true, 0, 0, 1.1, 1.1, 1, 15},
      {{"--center", "0,0", "--scale-x", "2", "--scale-y", "1", "--gain", "1.5", "--channels",
        "alpha"},
       false, 0, 0, 2, 1, 1.5, 8},
      {{"--center=-3.5,40", "--scale", "0.8"}, false, -3.5, 40, 0.8, 0.8, 1, 15},
  };
  // clang-format on
  for (const auto& tc : cases) {
    ExpectSameAsDirect(
        With({"radial-blur", "IN", "OUT"}, tc.options),
        [&](const Image& in) {
          Image out = in;
          const double cx = tc.middle ? (in.width - 1) / 2.0 : tc.cx;
          const double cy = tc.middle ? (in.height - 1) / 2.0 : tc.cy;
          for (int c = 0; c < 4; ++c)
            if (tc.channels >> c & 1)
              RadialBlurMask(out.pixels.data() + c, out.stride(), 4, in.pixels.data() + c,
                             in.stride(), 4, in.width, in.height, cx, cy, tc.sx, tc.sy, tc.gain);
          return out;
        },
        80);
  }
}

// An opaque photograph keeps alpha 255 exactly; the colour channels are
// blurred as by the direct calls.
TEST(CliCommands, RadialBlurKeepsOpaqueAlpha) {
  ScratchDir dir;
  Rng rng(81);
  std::vector<std::uint8_t> rgb(33 * 17 * 3);
  rng.Fill(rgb.data(), rgb.size());
  WriteRawPng(dir / "in.png", 33, 17, PNG_COLOR_TYPE_RGB, 8, rgb);
  const Image in = cli::LoadImage(dir / "in.png");
  for (const char* gain : {"1", "0.5"}) {
    const CliRun run =
        RunCli({"radial-blur", dir / "in.png", dir / "out.png", "--gain", gain, "-y"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Image want = in;
    const double g = std::atof(gain);
    for (int c = 0; c < 4; ++c)
      if (c < 3 || g < 1)
        RadialBlurMask(want.pixels.data() + c, want.stride(), 4, in.pixels.data() + c,
                       in.stride(), 4, in.width, in.height, 16, 8, 1.1, 1.1, g);
    EXPECT_EQ(ReadRgba8(dir / "out.png"), SavedBytes(want)) << gain;
  }
}

TEST(CliCommands, LutAndLevels) {
  ScratchDir tables;
  const std::string curve = "0 20\n100 60\nalpha 0 0\nalpha 255 200\nred 30 255\n";
  { std::ofstream(tables / "curve.txt") << curve; }
  const cli::ChannelTable curveTable = cli::ParseCurveTable(curve, "curve.txt");
  for (const bool clamp : {true, false}) {
    ExpectSameAsDirect(
        With({"lut", "IN", "OUT", "--table", tables / "curve.txt"},
             clamp ? std::vector<std::string>{} : std::vector<std::string>{"--no-alpha-clamp"}),
        [&](const Image& in) {
          Image out = in;
          (clamp ? LutWithAlphaClamp : Lut)(out.pixels.data(), out.stride(), in.width, in.height,
                                            curveTable.data());
          return out;
        },
        90);
  }
  const struct {
    std::vector<std::string> options;
    cli::Levels levels;
    unsigned channels;
    bool clamp;
    // clang-format off
  } cases[] = {
      {{"--black", "30", "--white", "200", "--gamma", "1.5", "--channels", "all"},
       {30, 200, 1.5, 0, 255}, cli::kColorBits | cli::kAlphaBit, true},
      {{"--out-black", "20", "--out-white", "100", "--channels", "red", "--no-alpha-clamp"},
       {0, 255, 1, 20, 100}, cli::kRedBit, false},
      {{}, {0, 255, 1, 0, 255}, cli::kColorBits, true},
  };
  // clang-format on
  for (const auto& tc : cases) {
    const cli::ChannelTable table = cli::LevelsTable(tc.levels, tc.channels);
    ExpectSameAsDirect(
        With({"levels", "IN", "OUT"}, tc.options),
        [&](const Image& in) {
          Image out = in;
          (tc.clamp ? LutWithAlphaClamp : Lut)(out.pixels.data(), out.stride(), in.width, in.height,
                                               table.data());
          return out;
        },
        91);
  }
}

TEST(CliCommands, GradientMap) {
  const std::uint8_t navy[4] = {0x10, 0x20, 0x40, 0xFF}, amber[4] = {0xFF, 0xCC, 0x00, 0xFF};
  const std::uint8_t black[4] = {0, 0, 0, 255}, white[4] = {255, 255, 255, 255};
  const std::uint8_t clear[4] = {0, 0, 0, 0}, red[4] = {255, 0, 0, 255};
  const struct {
    std::vector<std::string> options;
    const std::uint8_t* from;
    const std::uint8_t* to;
    int source;  // 0..3 a channel, 4 luminance, 5 and 6 sums of 3 and 4 channels
    // clang-format off
  } cases[] = {
      {{"--from", "#102040", "--to", "#ffcc00"}, navy, amber, 4},
      {{"--channel", "red"}, black, white, 2},
      {{"--channel", "alpha", "--from", "transparent", "--to", "red"}, clear, red, 3},
      {{"--channel", "sum", "--from", "#102040ff", "--to", "ffcc00"}, navy, amber, 5},
      {{"--channel", "sum-all"}, black, white, 6},
  };
  // clang-format on
  for (const auto& tc : cases) {
    const cli::PixelTable table = cli::GradientTable(tc.from, tc.to);
    ExpectSameAsDirect(
        With({"gradient-map", "IN", "OUT"}, tc.options),
        [&](const Image& in) {
          Image out = in;
          if (tc.source == 4) {
            Desaturate(out.pixels.data(), out.stride(), in.width, in.height, 0);
            EXPECT_EQ(
                ChannelMap(out.pixels.data(), out.stride(), 0, in.width, in.height, table.data()),
                1);
          } else if (tc.source >= 5) {
            ChannelMergeLut(out.pixels.data(), out.stride(), tc.source - 2, in.width, in.height,
                            table.data());
          } else {
            Image fresh(in.width, in.height);
            EXPECT_EQ(ChannelMapEx(fresh.pixels.data(), fresh.stride(), in.pixels.data(),
                                   in.stride(), tc.source, in.width, in.height, table.data()),
                      1);
            out = fresh;
          }
          return out;
        },
        92);
  }
}

// One channel as a float mask of its values (identity table).
[[maybe_unused]] std::vector<float> DirectMask(const Image& in, int channel) {
  float table[256];
  for (int i = 0; i < 256; ++i) table[i] = float(i);
  std::vector<float> mask(std::size_t(in.width) * in.height);
  ConvertChannelToFloatMask(mask.data(), in.width * 4, in.pixels.data(), in.stride(), channel,
                            in.width, in.height, table);
  return mask;
}

// The mask as grey pixels, made opaque unless `asAlpha`.
[[maybe_unused]] Image DirectGray(const std::vector<float>& mask, std::int32_t w, std::int32_t h,
                                  bool asAlpha) {
  Image out(w, h);
  ConvertFloatMaskToARGB(out.pixels.data(), out.stride(), mask.data(), w * 4, w, h);
  if (!asAlpha)
    for (std::size_t i = 3; i < out.pixels.size(); i += 4) out.pixels[i] = 255;
  return out;
}

TEST(CliCommands, Noise) {
  const struct {
    std::vector<std::string> options;
    std::int32_t w, h;
    float low, high;
    std::uint32_t seed;
    bool asAlpha;
    // clang-format off
  } cases[] = {
      {{"--size", "13x7", "--low", "10", "--high", "200", "--seed", "42"},
       13, 7, 10, 200, 42, false},
      {{"--size", "1x1"}, 1, 1, 0, 255, 1, false},
      {{"--size", "5,9", "--as-alpha", "--seed", "4294967295", "--high", "300"},
       5, 9, 0, 300, 4294967295u, true},
  };
  // clang-format on
  for (const auto& tc : cases) {
    ScratchDir dir;
    const CliRun run = RunCli(With({"noise", dir / "noise.png"}, tc.options));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<float> mask(std::size_t(tc.w) * tc.h);
    GenerateNoiseMask(mask.data(), tc.w * 4, tc.w, tc.h, tc.low, tc.high, tc.seed);
    EXPECT_EQ(ReadRgba8(dir / "noise.png"), SavedBytes(DirectGray(mask, tc.w, tc.h, tc.asAlpha)));
  }
  // Grain: a channel times noise between LOW and HIGH, written back.
  for (const auto& [channelName, channel] : {std::pair{"red", 2}, std::pair{"alpha", 3}}) {
    ExpectSameAsDirect(
        {"noise", "OUT", "--multiply", "IN", "--channel", channelName, "--low", "0.5", "--high",
         "1.25", "--seed", "9"},
        [&](const Image& in) {
          std::vector<float> m = DirectMask(in, channel);
          std::vector<float> noise(m.size());
          GenerateNoiseMask(noise.data(), in.width * 4, in.width, in.height, 0.5f, 1.25f, 9);
          MultiplyMasks(m.data(), in.width * 4, noise.data(), in.width * 4, in.width, in.height);
          const Image gray = DirectGray(m, in.width, in.height, true);
          Image out = in;
          for (std::size_t i = 0; i < out.pixels.size(); i += 4)
            out.pixels[i + channel] = gray.pixels[i];
          return out;
        },
        93);
  }
}

TEST(CliCommands, ScaleMask) {
  const struct {
    std::vector<std::string> options;
    int channel;
    bool onto;                    // start from OTHER's channel, else a black mask of the given size
    std::int32_t w, h;            // 0: the input's size
    std::vector<float> from, to;  // empty: the whole plane
    int mode;
    float amount;
    // clang-format off
  } cases[] = {
      {{"--size", "20x9"}, 3, false, 20, 9, {}, {}, 0, 0.5f},
      {{"--channel", "red", "--from-rect", "0.5,0.25,4.5,2.5", "--to-rect", "2.5,1,10,5",
        "--size", "16,8"},
       2, false, 16, 8, {0.5f, 0.25f, 4.5f, 2.5f}, {2.5f, 1, 10, 5}, 0, 0.5f},
      {{"--mode", "blend", "--amount", "0.3", "--onto", "OTHER"}, 3, true, 0, 0, {}, {}, 1, 0.3f},
      {{"--mode", "multiply", "--onto", "OTHER", "--channel", "green", "--as-alpha"},
       1, true, 0, 0, {}, {}, 2, 0.5f},
  };
  // clang-format on
  for (const auto& tc : cases) {
    ExpectSameAsDirect(
        With({"scale-mask", "IN", "OUT"}, tc.options),
        [&](const Inputs& inputs) {
          const Image& in = inputs.in;
          const std::vector<float> src = DirectMask(in, tc.channel);
          const std::int32_t w = tc.onto ? in.width : tc.w, h = tc.onto ? in.height : tc.h;
          std::vector<float> dst = tc.onto ? DirectMask(inputs.other, tc.channel)
                                           : std::vector<float>(std::size_t(w) * h);
          const std::vector<float> from =
              tc.from.empty() ? std::vector<float>{0, 0, float(in.width), float(in.height)}
                              : tc.from;
          const std::vector<float> to =
              tc.to.empty() ? std::vector<float>{0, 0, float(w), float(h)} : tc.to;
          const std::uint8_t done = ScaleMask(
              dst.data(), w * 4, w, h, to[0], to[1], to[2], to[3], src.data(), in.width * 4,
              in.width, in.height, from[0], from[1], from[2], from[3], tc.mode, tc.amount);
          EXPECT_EQ(done, 1);
          const bool asAlpha = tc.options.back() == "--as-alpha";
          return DirectGray(dst, w, h, asAlpha);
        },
        94, 1);  // a 1x1 source is refused by the library (see the error tests)
  }
}

TEST(CliCommands, Shear) {
  const struct {
    const char* direction;
    std::uint32_t code;
    const char* factor;
    // clang-format off
  } cases[] = {{"right", 2, "0.3"}, {"left", 1, "1"}, {"down", 3, "0.45"}, {"up", 0, "2.5"},
               {"right", 2, "-0.5"}};
  // clang-format on
  for (const auto& tc : cases) {
    ExpectSameAsDirect(
        {"shear", "IN", "OUT", "--direction", tc.direction, "--factor", tc.factor},
        [&](const Image& in) {
          const double f = std::stod(tc.factor);
          const bool vertical = tc.code == 0 || tc.code == 3;
          const std::int32_t len = vertical ? in.height : in.width;
          const std::int32_t lines = vertical ? in.width : in.height;
          const auto sheared = std::int32_t(std::ceil(len + std::fabs((lines - 1) * f)));
          Image out(vertical ? in.width : sheared, vertical ? sheared : in.height);
          Shear(in.pixels.data(), in.stride(), in.width, in.height, out.pixels.data(), out.stride(),
                out.width, out.height, tc.code, f);
          return out;
        },
        95);
  }
}

// --raw: one call of the export on the premultiplied bytes.
TEST(CliCommands, Composite) {
  const struct {
    const char* mode;
    int code;
    std::vector<std::string> options;
    double opacity;
    std::int32_t x, y;
    // clang-format off
  } cases[] = {
      {"normal", 1, {}, 1, 0, 0},           {"add", 3, {"--opacity", "0.4"}, 0.4, 0, 0},
      {"multiply", 4, {"--at", "2,-1"}, 1, 2, -1},
      {"overlay", 5, {"--at=-3,1", "--opacity=0.75"}, 0.75, -3, 1},
      {"screen", 6, {}, 1, 0, 0},           {"average", 7, {"--opacity", "0"}, 0, 0, 0},
  };
  // clang-format on
  for (const auto& tc : cases) {
    ExpectSameAsDirect(
        With({"composite", "IN", "OTHER", "OUT", "--raw", "--mode", tc.mode}, tc.options),
        [&](const Inputs& inputs) {
          Image out = inputs.in;
          // The overlap of OTHER placed at (x, y), computed pixel by pixel.
          for (std::int32_t y = 0; y < out.height; ++y)
            for (std::int32_t x = 0; x < out.width; ++x) {
              const std::int32_t ox = x - tc.x, oy = y - tc.y;
              if (ox < 0 || oy < 0 || ox >= inputs.other.width || oy >= inputs.other.height)
                continue;
              EXPECT_EQ(
                  Composite(out.At(x, y), 0, inputs.other.At(ox, oy), 0, 1, 1, tc.code, tc.opacity),
                  1);
            }
          return out;
        },
        96);
  }
}

TEST(CliCommands, Blend) {
  ExpectSameAsDirect(
      {"blend", "IN", "OTHER", "OUT", "--amount", "0.3", "--raw"},
      [](const Inputs& i) {
        Image out = i.in;
        Blend(out.pixels.data(), out.stride(), i.other.pixels.data(), i.other.stride(), out.width,
              out.height, 1.0 - 0.3);
        return out;
      },
      97);
  ExpectSameAsDirect(
      {"blend", "IN", "OTHER", "OUT", "--raw"},
      [](const Inputs& i) {
        Image out = i.in;
        Blend(out.pixels.data(), out.stride(), i.other.pixels.data(), i.other.stride(), out.width,
              out.height, 0.5);
        return out;
      },
      98);
  ScratchDir tables;
  const std::string curve = "blue 0 255\nblue 255 0\nred 0 128\ngreen 100 0\n";
  { std::ofstream(tables / "weights.txt") << curve; }
  const cli::ChannelTable table = cli::ParseCurveTable(curve, "weights.txt");
  const struct {
    std::vector<std::string> options;
    bool fade, withTable;
    // clang-format off
  } cases[] = {{{}, false, false},
               {{"--weight-table", tables / "weights.txt"}, false, true},
               {{"--fade"}, true, false}};
  // clang-format on
  for (const auto& tc : cases) {
    ExpectSameAsDirect(
        With({"blend", "IN", "OTHER", "OUT", "--mask", "MASK", "--raw"}, tc.options),
        [&](const Inputs& i) {
          Image out = i.in;
          if (tc.fade)
            MaskedFade(out.pixels.data(), out.stride(), i.weights.pixels.data(), i.weights.stride(),
                       i.other.pixels.data(), i.other.stride(), out.width, out.height);
          else
            MaskedBlend(out.pixels.data(), out.stride(), i.weights.pixels.data(),
                        i.weights.stride(), i.other.pixels.data(), i.other.stride(), out.width,
                        out.height, tc.withTable ? table.data() : nullptr);
          return out;
        },
        99);
  }
}

TEST(CliCommands, Multiply) {
  ExpectSameAsDirect(
      {"multiply", "IN", "OUT", "--factor", "0.6"},
      [](const Image& in) {
        Image out = in;
        Multiply(out.pixels.data(), out.stride(), in.width, in.height, 0.6);
        return out;
      },
      100);
  const struct {
    std::vector<std::string> options;
    int dstChannel, maskChannel;  // dstChannel -1: MaskMultiply
    double scale, offset;
    // clang-format off
  } cases[] = {
      {{}, -1, -1, 1, 0},
      {{"--mask-channel", "green", "--scale", "0.5", "--offset", "10"}, -1, 1, 0.5, 10},
      {{"--channel", "alpha", "--mask-channel", "red"}, 3, 2, 1, 0},
      {{"--channel", "blue", "--scale", "2", "--offset", "-64"}, 0, 0, 2, -64},
  };
  // clang-format on
  for (const auto& tc : cases) {
    ExpectSameAsDirect(
        With({"multiply", "IN", "OUT", "--mask", "MASK", "--raw"}, tc.options),
        [&](const Inputs& i) {
          Image out = i.in;
          if (tc.dstChannel < 0)
            EXPECT_EQ(MaskMultiply(out.pixels.data(), out.stride(), i.weights.pixels.data(),
                                   i.weights.stride(), out.width, out.height, tc.maskChannel,
                                   tc.scale, tc.offset),
                      1);
          else
            EXPECT_EQ(MultiplyChannel(out.pixels.data(), out.stride(), tc.dstChannel,
                                      i.weights.pixels.data(), i.weights.stride(), tc.maskChannel,
                                      out.width, out.height, tc.scale, tc.offset),
                      1);
          return out;
        },
        101);
  }
}

// `paths` lists every export once, in the export table's order, with the
// level the library's own choice gives on this processor.
TEST(CliPaths, ListsEveryExportWithItsKernelLevel) {
  const CliRun run = RunCli({"paths"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out.rfind("Morvex.Native ", 0), 0u) << run.out;
  const std::string widest = InstructionSetName(WidestInstructionSet(ProbedCpuFeatureFlags()));
  EXPECT_NE(run.out.find("widest kernel level: " + widest + "\n"), std::string::npos) << run.out;
  std::size_t at = 0;
  for (const auto& e : exports::kExportTable) {
    const std::size_t line = run.out.find("\n  " + std::string(e.name) + " ", at);
    ASSERT_NE(line, std::string::npos) << e.name << " missing or out of order";
    at = line + 1;
  }
  // A vector family on a processor with SSE2 never reports the scalar level.
  if (ProbedCpuFeatureFlags() & kCpuSse2) {
    const std::size_t blend = run.out.find("\n  Blend ");
    const std::string line = run.out.substr(blend + 1, run.out.find('\n', blend + 1) - blend - 1);
    EXPECT_EQ(line.find("scalar"), std::string::npos) << line;
  }
  EXPECT_EQ(RunCli({"--version"}).out, run.out);
}

}  // namespace
}  // namespace morvex::test
