// Each subcommand writes exactly the pixels the library gives for the same
// direct call on the same premultiplied input.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "cli_harness.h"
#include "morvex/native.h"

namespace morvex::test {
namespace {

using cli::Image;

struct Shape {
  std::int32_t width, height;
};
constexpr Shape kShapes[] = {{1, 1}, {7, 3}, {33, 17}};

// Runs `args` ("IN" and "OUT" replaced by file names) on a random input of
// every shape and compares the written file with `direct` applied to the
// loaded input.
void ExpectSameAsDirect(const std::vector<std::string>& args,
                        const std::function<Image(const Image&)>& direct, std::uint64_t seed) {
  for (const Shape shape : kShapes) {
    ScratchDir dir;
    Rng rng(seed + shape.width);
    const Image input = WriteRandomPng(rng, dir / "in.png", shape.width, shape.height);
    std::vector<std::string> words;
    for (const auto& a : args) words.push_back(a == "IN" ? dir / "in.png" : a == "OUT" ? dir / "out.png" : a);
    const CliRun run = RunCli(words);
    ASSERT_EQ(run.exitCode, 0) << args[0] << ": " << run.err;
    const Image expected = direct(input);
    std::int32_t w, h;
    const auto got = ReadRgba8(dir / "out.png", &w, &h);
    ASSERT_EQ(w, expected.width);
    ASSERT_EQ(h, expected.height);
    EXPECT_EQ(got, SavedBytes(expected)) << args[0] << " " << shape.width << "x" << shape.height;
  }
}

TEST(CliCommands, Copies) {
  ExpectSameAsDirect({"flip", "IN", "OUT"}, [](const Image& in) {
    Image out(in.width, in.height);
    for (std::int32_t y = 0; y < in.height; ++y)
      BitmapCopy(out.Row(y), 0, in.Row(in.height - 1 - y), 0, 4, in.width, 1);
    return out;
  }, 1);
  const struct {
    const char* from;
    const char* to;
    int fromIndex, toIndex;
  } routes[] = {{"red", "blue", 2, 0}, {"alpha", "green", 3, 1}, {"blue", "alpha", 0, 3}};
  for (const auto& r : routes)
    ExpectSameAsDirect({"copy-channel", "IN", "OUT", "--from", r.from, "--to", r.to},
                       [&](const Image& in) {
                         Image out = in;
                         ChannelCopy(out.pixels.data() + r.toIndex, 0, 4, in.width * in.height, 1,
                                     in.pixels.data() + r.fromIndex, 0, 4);
                         return out;
                       },
                       2);
}

#if MORVEX_HAS_GaussianBlur
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
  ExpectSameAsDirect({"blur", "IN", "OUT", "--sigma", "1.5"},
                     [](const Image& in) { return DirectBlur(in, 1.5, 1.5, {}, {}); }, 10);
  ExpectSameAsDirect({"blur", "IN", "OUT", "--sigma-x=3", "--sigma-y", "0.7", "--precision", "8bit"},
                     [](const Image& in) { return DirectBlur(in, 3, 0.7, {}, {}); }, 11);
  ExpectSameAsDirect({"blur", "IN", "OUT", "--sigma", "9", "--row-ramp", "0,6", "--column-ramp",
                      "4,1"},
                     [](const Image& in) {
                       return DirectBlur(in, 9, 9, Ramp(0, 6, in.height), Ramp(4, 1, in.width));
                     },
                     12);
}
#endif

#if MORVEX_HAS_GaussianBlur && MORVEX_HAS_ConvertARGBToARGBFloat && MORVEX_HAS_ConvertARGBFloatToARGB
TEST(CliCommands, BlurInFloat) {
  ExpectSameAsDirect({"blur", "IN", "OUT", "--sigma", "2.5", "--precision", "float"},
                     [](const Image& in) {
                       const std::int32_t fs = in.width * 16;
                       std::vector<float> f(std::size_t(in.width) * in.height * 4),
                           temp(f.size());
                       auto* fb = reinterpret_cast<std::uint8_t*>(f.data());
                       ConvertARGBToARGBFloat(fb, fs, in.pixels.data(), in.stride(), in.width,
                                              in.height);
                       EXPECT_EQ(GaussianBlur(fb, fs, 16, in.width, in.height, temp.data(),
                                              static_cast<std::int32_t>(temp.size() * 4), 2.5,
                                              2.5, nullptr, nullptr),
                                 1);
                       Image out(in.width, in.height);
                       ConvertARGBFloatToARGB(out.pixels.data(), out.stride(), fb, fs, in.width,
                                              in.height);
                       return out;
                     },
                     13);
}
#endif

#if MORVEX_HAS_GaussianBlurMask
TEST(CliCommands, BlurAlpha) {
  const struct {
    std::vector<std::string> options;
    int channel;
    double sigma, scale, offset;
  } cases[] = {{{"--sigma", "2"}, 3, 2, 1, 0},
               {{"--channel", "red", "--sigma", "4", "--scale", "-1", "--offset", "255"}, 2, 4, -1, 255},
               {{"--scale", "0.5", "--offset=-3"}, 3, 2, 0.5, -3}};
  for (const auto& tc : cases) {
    std::vector<std::string> args = {"blur-alpha", "IN", "OUT"};
    args.insert(args.end(), tc.options.begin(), tc.options.end());
    ExpectSameAsDirect(args, [&](const Image& in) {
      Image out = in;
      std::vector<float> temp(std::size_t(in.width) * in.height);
      EXPECT_EQ(GaussianBlurMask(out.pixels.data() + tc.channel, out.stride(), 4, in.width,
                                 in.height, temp.data(), static_cast<std::int32_t>(temp.size() * 4),
                                 tc.sigma, tc.sigma, tc.scale, tc.offset, nullptr, nullptr),
                1);
      return out;
    }, 20 + tc.channel);
  }
}
#endif

#if MORVEX_HAS_Desaturate
TEST(CliCommands, Desaturate) {
  for (const bool alpha : {false, true}) {
    std::vector<std::string> args = {"desaturate", "IN", "OUT"};
    if (alpha) args.push_back("--alpha");
    ExpectSameAsDirect(args, [&](const Image& in) {
      Image out = in;
      Desaturate(out.pixels.data(), out.stride(), in.width, in.height, alpha);
      return out;
    }, 30);
  }
}
#endif

#if MORVEX_HAS_HslScaleOffset
TEST(CliCommands, Hsl) {
  const struct {
    std::vector<std::string> options;
    double hs, ss, ls, ho, so, lo;
  } cases[] = {
      {{"--hue-shift", "120"}, 1, 1, 1, 120 / 360.0, 0, 0},
      {{"--hue-scale", "0.5", "--saturation-scale", "0", "--lightness-scale", "1.1",
        "--saturation-offset", "0.25", "--lightness-offset", "-0.1", "--hue-shift", "-45"},
       0.5, 0, 1.1, -45 / 360.0, 0.25, -0.1},
  };
  for (const auto& tc : cases) {
    std::vector<std::string> args = {"hsl", "IN", "OUT"};
    args.insert(args.end(), tc.options.begin(), tc.options.end());
    ExpectSameAsDirect(args, [&](const Image& in) {
      Image out = in;
      HslScaleOffset(out.pixels.data(), out.stride(), in.width, in.height, tc.hs, tc.ss, tc.ls,
                     tc.ho, tc.so, tc.lo);
      return out;
    }, 40);
  }
}
#endif

#if MORVEX_HAS_Histogram
TEST(CliCommands, HistogramPrintsAndPlotsCounts) {
  ScratchDir dir;
  Rng rng(50);
  const Image in = WriteRandomPng(rng, dir / "in.png", 23, 11);
  std::int32_t counts[4][256];
  const std::int32_t peak = Histogram(in.pixels.data(), in.stride(), in.width, in.height,
                                      counts[0], counts[1], counts[2], counts[3]);
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
#endif

#if MORVEX_HAS_Blur3x3
TEST(CliCommands, Blur3x3) {
  for (const int passes : {1, 3}) {
    ExpectSameAsDirect({"blur3x3", "IN", "OUT", "--passes", std::to_string(passes)},
                       [&](const Image& in) {
                         Image a = in;
                         for (int i = 0; i < passes; ++i) {
                           Image b(in.width, in.height);
                           Blur3x3(b.pixels.data(), b.stride(), a.pixels.data(), a.stride(),
                                   in.width, in.height);
                           a = b;
                         }
                         return a;
                       },
                       60);
  }
}
#endif

#if MORVEX_HAS_EdgeDetect
TEST(CliCommands, Edges) {
  const struct {
    std::vector<std::string> options;
    bool gray;
    double threshold;
  } cases[] = {{{}, false, 0.1}, {{"--threshold", "0.3"}, false, 0.3}, {{"--gray", "--threshold", "0"}, true, 0}};
  for (const auto& tc : cases) {
    std::vector<std::string> args = {"edges", "IN", "OUT"};
    args.insert(args.end(), tc.options.begin(), tc.options.end());
    ExpectSameAsDirect(args, [&](const Image& in) {
      Image out(in.width, in.height);
      EdgeDetect(out.pixels.data(), out.stride(), in.pixels.data(), in.stride(), in.width,
                 in.height, tc.gray, tc.threshold);
      return out;
    }, 70);
  }
}
#endif

#if MORVEX_HAS_RadialBlurMask
TEST(CliCommands, RadialBlur) {
  const struct {
    std::vector<std::string> options;
    bool middle;  // centre at the middle of the image
    double cx, cy, sx, sy, gain;
    unsigned channels;
  } cases[] = {
      {{}, true, 0, 0, 1.1, 1.1, 1, 15},
      {{"--center", "0,0", "--scale-x", "2", "--scale-y", "1", "--gain", "1.5", "--channels",
        "alpha"},
       false, 0, 0, 2, 1, 1.5, 8},
      {{"--center=-3.5,40", "--scale", "0.8"}, false, -3.5, 40, 0.8, 0.8, 1, 15},
  };
  for (const auto& tc : cases) {
    std::vector<std::string> args = {"radial-blur", "IN", "OUT"};
    args.insert(args.end(), tc.options.begin(), tc.options.end());
    ExpectSameAsDirect(args, [&](const Image& in) {
      Image out = in;
      const double cx = tc.middle ? (in.width - 1) / 2.0 : tc.cx;
      const double cy = tc.middle ? (in.height - 1) / 2.0 : tc.cy;
      for (int c = 0; c < 4; ++c)
        if (tc.channels >> c & 1)
          RadialBlurMask(out.pixels.data() + c, out.stride(), 4, in.pixels.data() + c,
                         in.stride(), 4, in.width, in.height, cx, cy, tc.sx, tc.sy, tc.gain);
      return out;
    }, 80);
  }
}
#endif

}  // namespace
}  // namespace morvex::test
