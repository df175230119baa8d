// composite, blend and multiply --mask treat the second image as a layer:
// where it is transparent the base is unchanged, where it is opaque the base
// gets what the library's export gives for the two opaque colours, and in
// between a mix in proportion to the layer's alpha (the W3C model).
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>

#include "cli_harness.h"
#include "files/image_io.h"
#include "morvex/native.h"

namespace morvex::test {
namespace {

constexpr std::int32_t kW = 18, kH = 6;

// Straight RGBA samples: a random opaque base, and a layer whose first six
// columns are transparent (with colour), the next six opaque and the rest
// translucent.
struct Files {
  ScratchDir dir;
  std::vector<std::uint8_t> base, layer;
  explicit Files(std::uint64_t seed, bool translucentBase = false) {
    Rng rng(seed);
    base = RandomRgba(rng, kW, kH);
    layer = RandomRgba(rng, kW, kH);
    for (std::int32_t i = 0; i < kW * kH; ++i) {
      const std::int32_t x = i % kW;
      std::uint8_t& a = layer[std::size_t(i) * 4 + 3];
      a = x < 6 ? 0 : x < 12 ? 255 : std::uint8_t(rng.Int(1, 254));
      if (!translucentBase) base[std::size_t(i) * 4 + 3] = 255;
    }
    WriteRawPng(dir / "base.png", kW, kH, PNG_COLOR_TYPE_RGBA, 8, base);
    WriteRawPng(dir / "layer.png", kW, kH, PNG_COLOR_TYPE_RGBA, 8, layer);
  }
  // Pixel i of `samples` made opaque, in the library's byte order.
  static void Opaque(const std::vector<std::uint8_t>& samples, std::int32_t i, std::uint8_t bgra[4]) {
    const std::uint8_t* p = &samples[std::size_t(i) * 4];
    bgra[0] = p[2], bgra[1] = p[1], bgra[2] = p[0], bgra[3] = 255;
  }
};

// The layer's alpha, 0..1, and the base's straight colour channel k (RGBA order).
double Alpha(const std::vector<std::uint8_t>& s, std::int32_t i) { return s[std::size_t(i) * 4 + 3] / 255.0; }

void ExpectLayer(const std::string& what, const std::vector<std::uint8_t>& got,
                 const std::vector<std::uint8_t>& base, const std::vector<std::uint8_t>& layer,
                 double opacity, const std::function<void(std::int32_t, std::uint8_t[4])>& result) {
  for (std::int32_t i = 0; i < kW * kH; ++i) {
    const std::int32_t x = i % kW;
    std::uint8_t m[4];  // the export's result on the opaque colours, BGRA
    result(i, m);
    const double a = Alpha(layer, i) * opacity;
    for (int k = 0; k < 3; ++k) {
      const int g = got[std::size_t(i) * 4 + k], b = base[std::size_t(i) * 4 + k], mk = m[2 - k];
      if (x < 6) {
        ASSERT_EQ(g, b) << what << ": transparent layer, pixel " << i;
      } else if (x < 12 && opacity == 1) {
        ASSERT_EQ(g, mk) << what << ": opaque layer, pixel " << i;
      } else {
        ASSERT_LE(std::fabs(g - (a * mk + (1 - a) * b)), 2.0) << what << ": pixel " << i;
      }
    }
    ASSERT_EQ(got[std::size_t(i) * 4 + 3], 255) << what << ": an opaque base stays opaque";
  }
}

TEST(Layers, CompositeInEveryMode) {
  const struct {
    const char* mode;
    int code;
    double opacity;
  } cases[] = {{"normal", 1, 1},   {"add", 3, 1},    {"multiply", 4, 1}, {"overlay", 5, 1},
               {"screen", 6, 1},   {"average", 7, 1}, {"multiply", 4, 0.5}};
  Files files(31);
  for (const auto& tc : cases) {
    const std::string out = files.dir / "out.png";
    const CliRun run = RunCli({"composite", files.dir / "base.png", files.dir / "layer.png", out,
                               "--mode", tc.mode, "--opacity", std::to_string(tc.opacity), "-y"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ExpectLayer(tc.mode, ReadRgba8(out), files.base, files.layer, tc.opacity,
                [&](std::int32_t i, std::uint8_t m[4]) {
                  std::uint8_t s[4];
                  Files::Opaque(files.base, i, m);
                  Files::Opaque(files.layer, i, s);
                  EXPECT_EQ(Composite(m, 0, s, 0, 1, 1, tc.code, 1.0), 1);
                });
  }
}

// Over a translucent base, a transparent part of the layer leaves the base's
// premultiplied pixel exactly, and the alpha is that of source-over.
TEST(Layers, CompositeOverATranslucentBase) {
  Files files(32, /*translucentBase=*/true);
  for (const char* mode : {"normal", "multiply", "screen"}) {
    const std::string out = files.dir / "out.png";
    ASSERT_EQ(RunCli({"composite", files.dir / "base.png", files.dir / "layer.png", out, "--mode",
                      mode, "-y"})
                  .exitCode,
              0);
    const cli::Image got = cli::LoadImage(out), base = cli::LoadImage(files.dir / "base.png");
    for (std::int32_t i = 0; i < kW * kH; ++i) {
      const double as = Alpha(files.layer, i), ab = Alpha(files.base, i);
      const std::uint8_t* g = &got.pixels[std::size_t(i) * 4];
      if (i % kW < 6) {
        ASSERT_TRUE(std::equal(g, g + 4, &base.pixels[std::size_t(i) * 4])) << mode << " " << i;
      }
      ASSERT_LE(std::fabs(g[3] - 255 * (as + ab * (1 - as))), 1.0) << mode << " " << i;
    }
  }
}

// blend and multiply --mask: the other image, or the mask, as a layer.
TEST(Layers, BlendAndMaskedMultiply) {
  Files files(33);
  const struct {
    std::vector<std::string> args;  // BASE, LAYER and OUT stand for the files
    std::function<void(std::int32_t, std::uint8_t[4])> result;
  } cases[] = {
      {{"blend", "BASE", "LAYER", "OUT", "--amount", "0.4"},
       [&](std::int32_t i, std::uint8_t m[4]) {
         std::uint8_t s[4];
         Files::Opaque(files.base, i, m);
         Files::Opaque(files.layer, i, s);
         Blend(m, 0, s, 0, 1, 1, 0.6);
       }},
      {{"multiply", "BASE", "OUT", "--mask", "LAYER"},
       [&](std::int32_t i, std::uint8_t m[4]) {
         std::uint8_t s[4];
         Files::Opaque(files.base, i, m);
         Files::Opaque(files.layer, i, s);
         EXPECT_EQ(MaskMultiply(m, 0, s, 0, 1, 1, -1, 1, 0), 1);
       }},
      {{"blend", "BASE", "LAYER", "OUT", "--mask", "LAYER"}, nullptr},
  };
  for (const auto& tc : cases) {
    std::vector<std::string> args;
    for (const auto& a : tc.args)
      args.push_back(a == "BASE" ? files.dir / "base.png" : a == "LAYER" ? files.dir / "layer.png"
                     : a == "OUT" ? files.dir / "out.png" : a);
    args.push_back("-y");
    const CliRun run = RunCli(args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto got = ReadRgba8(files.dir / "out.png");
    if (tc.args[0] == "blend" && tc.args[4] == "--mask") {
      // Share s/255 of the layer's colour s, times its alpha as the mask's
      // coverage and again as the layer's.
      for (std::int32_t i = 0; i < kW * kH; ++i)
        for (int k = 0; k < 3; ++k) {
          const double b = files.base[std::size_t(i) * 4 + k],
                       c = files.layer[std::size_t(i) * 4 + k], a = Alpha(files.layer, i);
          ASSERT_LE(std::fabs(got[std::size_t(i) * 4 + k] - (b + c / 255 * a * a * (c - b))), 2.0)
              << "blend --mask: pixel " << i;
        }
      continue;
    }
    ExpectLayer(tc.args[0], got, files.base, files.layer, 1, tc.result);
  }
}

}  // namespace
}  // namespace morvex::test
