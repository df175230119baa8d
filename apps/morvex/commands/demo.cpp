// morvex demo: a built-in test image, a tour of the library's operations on
// it, one PNG per operation and a contact sheet of them all.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <system_error>
#include <tuple>

#include "commands/commands.h"
#include "runner.h"
#include "core/font.h"
#include "morvex/native.h"
#include "core/ops.h"
#include "files/image_io.h"

namespace morvex::cli {
namespace {

constexpr std::int32_t kTestWidth = 192, kTestHeight = 128;

// Premultiplied source-over of one premultiplied pixel onto another.
void Over(std::uint8_t* d, const std::uint8_t s[4]) {
  for (int k = 0; k < 4; ++k)
    d[k] = static_cast<std::uint8_t>(s[k] + (d[k] * (255 - s[3]) * 2 + 255) / 510);
}

// A straight RGBA colour as a premultiplied BGRA pixel.
void Premultiplied(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a,
                   std::uint8_t out[4]) {
  out[0] = PremultiplyChannel(b, a, 255);
  out[1] = PremultiplyChannel(g, a, 255);
  out[2] = PremultiplyChannel(r, a, 255);
  out[3] = a;
}

// Gradients and shapes, no text: a colour ramp that fades out to the right,
// an opaque disc, a translucent square, a triangle and a striped block.
Image TestImage() {
  Image image(kTestWidth, kTestHeight);
  const std::int32_t w = kTestWidth, h = kTestHeight;
  for (std::int32_t y = 0; y < h; ++y)
    for (std::int32_t x = 0; x < w; ++x) {
      const int r = x * 255 / (w - 1), g = y * 255 / (h - 1), b = 255 - (r + g) / 2;
      const int a = x < w - 48 ? 255 : 255 - (x - (w - 48)) * 255 / 47;
      Premultiplied(std::uint8_t(r), std::uint8_t(g), std::uint8_t(b), std::uint8_t(a),
                    image.At(x, y));
    }
  std::uint8_t disc[4], square[4], triangle[4], light[4], dark[4];
  Premultiplied(230, 40, 40, 255, disc);
  Premultiplied(30, 60, 220, 150, square);
  Premultiplied(250, 220, 40, 255, triangle);
  Premultiplied(250, 250, 250, 255, light);
  Premultiplied(10, 10, 10, 255, dark);
  for (std::int32_t y = 0; y < h; ++y)
    for (std::int32_t x = 0; x < w; ++x) {
      std::uint8_t* p = image.At(x, y);
      const int dx = x - 52, dy = y - 58;
      if (dx * dx + dy * dy <= 30 * 30) Over(p, disc);
      if (x >= 72 && x < 124 && y >= 14 && y < 66) Over(p, square);
      if (y >= 78 && y < 118 && 2 * std::abs(x - 110) <= y - 78) Over(p, triangle);
      if (x >= 12 && x < 60 && y >= 96 && y < 120) Over(p, ((x / 4 + y / 8) & 1) ? light : dark);
    }
  return image;
}

// A second image for the mixing steps: translucent concentric rings.
[[maybe_unused]] Image Rings(std::int32_t width, std::int32_t height) {
  Image image(width, height);
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x) {
      const int dx = x - width / 2, dy = y - height / 2;
      const int band = static_cast<int>(std::sqrt(double(dx * dx + dy * dy))) / 10;
      if (band % 2)
        Premultiplied(40, 200, 230, 180, image.At(x, y));
      else
        Premultiplied(250, 120, 30, 90, image.At(x, y));
    }
  return image;
}

// Mixing weights rising from 0 at the left edge to 255 at the right one.
[[maybe_unused]] Image Ramp(std::int32_t width, std::int32_t height) {
  Image image(width, height);
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x) {
      std::uint8_t* p = image.At(x, y);
      p[0] = p[1] = p[2] = p[3] = std::uint8_t(width > 1 ? x * 255 / (width - 1) : 255);
    }
  return image;
}

struct DemoStep {
  const char* file;   // base name without extension
  const char* label;  // drawn under the tile on the contact sheet
  std::function<Image(const Image&)> run;
};

std::vector<DemoStep> DemoSteps() {
  std::vector<DemoStep> steps;
  steps.push_back({"original", "TEST IMAGE", [](const Image& in) { return in; }});
  steps.push_back({"flip", "BITMAPCOPY FLIP", [](const Image& in) { return FlipVertical(in); }});
  steps.push_back({"channel-copy", "CHANNELCOPY RED TO BLUE",
                   [](const Image& in) { return CopyChannel(in, 2, 0); }});
  steps.push_back({"blur", "GAUSSIANBLUR SIGMA 3", [](const Image& in) {
                     BlurSigmas s;
                     s.x = s.y = 3;
                     return BlurImage(in, s, false);
                   }});
  steps.push_back({"blur-ramp", "GAUSSIANBLUR SIGMA 0 TO 8", [](const Image& in) {
                     BlurSigmas s;
                     s.rowRamp = s.columnRamp = true;
                     s.rowFrom = s.columnFrom = 0;
                     s.rowTo = s.columnTo = 8;
                     return BlurImage(in, s, false);
                   }});
  steps.push_back({"blur-float", "GAUSSIANBLUR FLOAT SIGMA 3", [](const Image& in) {
                     BlurSigmas s;
                     s.x = s.y = 3;
                     return BlurImage(in, s, true);
                   }});
  steps.push_back({"blur-alpha", "GAUSSIANBLURMASK ALPHA", [](const Image& in) {
                     BlurSigmas s;
                     s.x = s.y = 6;
                     return BlurChannel(in, 3, s, 1, 0);
                   }});
  for (const auto& [file, label, mode] :
       {std::tuple{"composite-normal", "COMPOSITE NORMAL 70%", 1},
        std::tuple{"composite-screen", "COMPOSITE SCREEN", 6},
        std::tuple{"composite-multiply", "COMPOSITE MULTIPLY", 4}}) {
    const int m = mode;
    steps.push_back({file, label, [m](const Image& in) {
                       return CompositeImages(in, Rings(in.width, in.height), 0, 0, m,
                                              m == 1 ? 0.7 : 1.0);
                     }});
  }
  steps.push_back({"blend", "BLEND 50% WITH FLIP",
                   [](const Image& in) { return BlendImages(in, FlipVertical(in), 0.5); }});
  steps.push_back({"masked-blend", "MASKEDBLEND RAMP", [](const Image& in) {
                     return MaskedBlendImages(in, Rings(in.width, in.height),
                                              Ramp(in.width, in.height), false, nullptr);
                   }});
  steps.push_back({"masked-fade", "MASKEDFADE RAMP", [](const Image& in) {
                     return MaskedBlendImages(in, Rings(in.width, in.height),
                                              Ramp(in.width, in.height), true, nullptr);
                   }});
  steps.push_back(
      {"multiply", "MULTIPLY 0.6", [](const Image& in) { return MultiplyImage(in, 0.6); }});
  steps.push_back({"mask-multiply", "MASKMULTIPLY RAMP", [](const Image& in) {
                     return MaskMultiplyImage(in, Ramp(in.width, in.height), -1, 2, 1, 0);
                   }});
  steps.push_back({"multiply-channel", "MULTIPLYCHANNEL GREEN", [](const Image& in) {
                     return MaskMultiplyImage(in, Ramp(in.width, in.height), 1, 2, 1.5, -40);
                   }});
  steps.push_back({"clip-restore", "CLIPRESTORE 0.6",
                   [](const Image& in) { return ClipRestoreImage(in, 0.6, 0.3, false); }});
  steps.push_back({"focus-prep", "FOCUSPREP 0.8",
                   [](const Image& in) { return ClipRestoreImage(in, 0.8, 0.9, true); }});
  steps.push_back(
      {"desaturate", "DESATURATE", [](const Image& in) { return DesaturateImage(in, false); }});
  steps.push_back({"hsl-hue", "HSLSCALEOFFSET HUE +120", [](const Image& in) {
                     HslAdjust a;
                     a.hueOffset = 120 / 360.0;
                     return AdjustHsl(in, a);
                   }});
  steps.push_back({"hsl-muted", "HSLSCALEOFFSET SAT X0.35", [](const Image& in) {
                     HslAdjust a;
                     a.saturationScale = 0.35;
                     return AdjustHsl(in, a);
                   }});
  steps.push_back({"histogram", "HISTOGRAM",
                   [](const Image& in) { return PlotHistogram(CountHistogram(in), 1, 29); }});
  steps.push_back({"levels", "LUTWITHALPHACLAMP LEVELS", [](const Image& in) {
                     Levels levels;
                     levels.inBlack = 40;
                     levels.inWhite = 215;
                     levels.gamma = 1.3;
                     return ApplyTable(in, LevelsTable(levels, kColorBits), true);
                   }});
  steps.push_back({"lut", "LUT POSTERIZE", [](const Image& in) {
                     ChannelTable table = IdentityTable();
                     for (int i = 0; i < 256; ++i)
                       for (int k = 0; k < 3; ++k) table[i * 4 + k] = std::uint8_t(i / 64 * 85);
                     return ApplyTable(in, table, false);
                   }});
  {
    static const std::uint8_t kDeep[4] = {20, 30, 90, 255}, kGold[4] = {255, 210, 60, 255};
    static const std::uint8_t kClear[4] = {0, 0, 0, 0}, kRed[4] = {230, 40, 40, 255};
    steps.push_back({"gradient-map", "CHANNELMAP BY LUMINANCE", [](const Image& in) {
                       return GradientMap(in, MapSource::kLuma, GradientTable(kDeep, kGold));
                     }});
    steps.push_back({"channel-map-ex", "CHANNELMAPEX BY ALPHA", [](const Image& in) {
                       return GradientMap(in, MapSource::kAlpha, GradientTable(kClear, kRed));
                     }});
    steps.push_back({"channel-merge", "CHANNELMERGELUT SUM", [](const Image& in) {
                       return GradientMap(in, MapSource::kSumColor, GradientTable(kGold, kDeep));
                     }});
  }
  steps.push_back(
      {"blur3x3", "BLUR3X3 3 PASSES", [](const Image& in) { return Blur3x3Image(in, 3); }});
  steps.push_back({"edges-gray", "EDGEDETECT GRAY",
                   [](const Image& in) { return DetectEdges(in, true, 0.05); }});
  steps.push_back({"edges-channels", "EDGEDETECT PER CHANNEL",
                   [](const Image& in) { return DetectEdges(in, false, 0.15); }});
  steps.push_back({"radial-blur", "RADIALBLURMASK ZOOM", [](const Image& in) {
                     RadialBlur r;
                     r.centerX = (in.width - 1) / 2.0;
                     r.centerY = (in.height - 1) / 2.0;
                     r.scaleX = r.scaleY = 1.15;
                     return RadialBlurImage(in, r, 15);
                   }});
  steps.push_back({"noise", "GENERATENOISEMASK", [](const Image& in) {
                     return MaskToGray(NoiseMask(in.width, in.height, 0, 255, 1), true);
                   }});
  steps.push_back({"grain", "MULTIPLYMASKS GRAIN ON RED", [](const Image& in) {
                     FloatMask red = ChannelToMask(in, 2);
                     MultiplyMaskBy(red, NoiseMask(in.width, in.height, 0.5f, 1, 7));
                     const Image gray = MaskToGray(red, false);
                     return CopyChannelFrom(in, 2, gray, 2);
                   }});
  steps.push_back({"scale-mask", "SCALEMASK RED, TOP LEFT X2", [](const Image& in) {
                     const FloatMask red = ChannelToMask(in, 2);
                     FloatMask out(in.width, in.height);
                     ScaleMaskOnto(out, {0, 0, float(in.width), float(in.height)}, red,
                                   {0, 0, in.width / 2.0f, in.height / 2.0f}, 0, 0);
                     return MaskToGray(out, true);
                   }});
  steps.push_back(
      {"shear", "SHEAR RIGHT 0.3", [](const Image& in) { return ShearImage(in, 2, 0.3); }});
  return steps;
}

// The tile on a grey checkerboard, so transparency shows.
Image OnCheckerboard(const Image& tile) {
  Image out(tile.width, tile.height);
  for (std::int32_t y = 0; y < tile.height; ++y)
    for (std::int32_t x = 0; x < tile.width; ++x) {
      const std::uint8_t v = ((x / 8 + y / 8) & 1) ? 200 : 150;
      std::uint8_t* p = out.At(x, y);
      p[0] = p[1] = p[2] = v;
      p[3] = 255;
      Over(p, tile.At(x, y));
    }
  return out;
}

struct Tile {
  std::string label;
  Image image;
};

Image ContactSheet(const std::vector<Tile>& tiles) {
  constexpr std::int32_t kMargin = 8, kLabelHeight = 14, kTitleHeight = 30, kColumns = 5;
  std::int32_t cellW = 0, cellH = 0;
  for (const auto& t : tiles) {
    cellW = std::max(cellW, std::max(t.image.width, TextWidth(t.label, 1)));
    cellH = std::max(cellH, t.image.height);
  }
  const std::int32_t count = static_cast<std::int32_t>(tiles.size());
  const std::int32_t columns = std::min(kColumns, std::max(count, 1));
  const std::int32_t rows = (count + columns - 1) / columns;
  Image sheet(kMargin + columns * (cellW + kMargin),
              kTitleHeight + rows * (cellH + kLabelHeight + kMargin) + kMargin);
  for (std::size_t i = 0; i < sheet.pixels.size(); i += 4) {
    sheet.pixels[i] = sheet.pixels[i + 1] = sheet.pixels[i + 2] = 40;
    sheet.pixels[i + 3] = 255;
  }
  const std::uint8_t white[3] = {255, 255, 255}, grey[3] = {190, 190, 190};
  DrawText(sheet, kMargin, 8, "MORVEX DEMO", white, 2);
  for (std::int32_t i = 0; i < count; ++i) {
    const std::int32_t x = kMargin + (i % columns) * (cellW + kMargin);
    const std::int32_t y = kTitleHeight + (i / columns) * (cellH + kLabelHeight + kMargin);
    Place(sheet, OnCheckerboard(tiles[i].image), x, y);
    DrawText(sheet, x, y + cellH + 4, tiles[i].label, grey, 1);
  }
  return sheet;
}

int RunDemo(const Args& args) {
  namespace fs = std::filesystem;
  const std::string dir = args.PositionalCount() > 0 ? args.Positional(0) : "morvex-demo";
  std::error_code ec;
  if (fs::exists(dir, ec) && !fs::is_directory(dir, ec))
    throw CliError("cannot create directory " + dir + ": a file of that name exists");
  fs::create_directories(dir, ec);
  if (ec) throw CliError("cannot create directory " + dir + ": " + ec.message());
  // The files of the tour, checked before any is written.
  const std::vector<DemoStep> steps = DemoSteps();
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "%02zu-%s.png", i, steps[i].file);
    paths.push_back((fs::path(dir) / name).string());
  }
  const std::string sheetPath = (fs::path(dir) / "contact-sheet.png").string();
  paths.push_back(sheetPath);
  CheckOverwrite(args, paths);
  // Start from the default floating-point state, as a fresh thread has it.
  FPU_Reset();
  const Image test = TestImage();
  std::vector<Tile> tiles;
  int index = 0;
  for (const auto& step : steps) {
    const std::string path = paths[std::size_t(index++)];
    Image result = step.run(test);
    SaveImage(path, result);
    std::printf("wrote %s\n", path.c_str());
    tiles.push_back({step.label, std::move(result)});
  }
  SaveImage(sheetPath, ContactSheet(tiles));
  std::printf("wrote %s\n", sheetPath.c_str());
  std::printf("floating-point state after the tour: control word 0x%08x, status 0x%08x\n",
              unsigned(FPU_Control(0, 0)), unsigned(FPU_Status()));
  std::printf("%d operations on a %dx%d test image; open %s to see them all.\n", index - 1,
              kTestWidth, kTestHeight, sheetPath.c_str());
  std::fflush(stdout);
  return 0;
}

}  // namespace

void AddDemoCommand(std::vector<Command>& commands) {
  commands.push_back(
      {"demo",
       "run a tour of the library on a built-in test image and write the results",
       {{"outdir", "directory for the PNG files (created if missing; default morvex-demo)", true}},
       {{"overwrite", "", "-y: replace the files of an earlier tour"}},
       std::string("Writes one PNG per operation, numbered in tour order, and\n"
                   "contact-sheet.png with all of them labelled. Needs no input.\n\n") +
           kFilesNote,
       RunDemo});
}

}  // namespace morvex::cli
