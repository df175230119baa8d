// desaturate, hsl and histogram: the tone exports.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "commands.h"
#include "font.h"
#include "morvex/native.h"
#include "ops.h"
#include "image_io.h"

namespace morvex::cli {

Image DesaturateImage(const Image& image, bool alsoAlpha) {
  Image out = image;
  Desaturate(out.pixels.data(), out.stride(), out.width, out.height, alsoAlpha ? 1u : 0u);
  return out;
}

Image AdjustHsl(const Image& image, const HslAdjust& a) {
  Image out = image;
  HslScaleOffset(out.pixels.data(), out.stride(), out.width, out.height, a.hueScale,
                 a.saturationScale, a.lightnessScale, a.hueOffset, a.saturationOffset,
                 a.lightnessOffset);
  return out;
}

Image AdjustHslClamped(const Image& image, const HslAdjust& a) {
  Image out = image;
  const double hueOffset = CentredHueOffset(a.hueScale, a.hueOffset);
  // Kind 0 keeps the requested scale and offset, 1 sets the component to 0, 2 to 1.
  auto kind = [](double v) { return v > 1 ? 2 : v < 0 ? 1 : 0; };
  const double scale[3][2] = {{a.saturationScale, a.lightnessScale}, {0, 0}, {0, 0}};
  const double offset[3][2] = {{a.saturationOffset, a.lightnessOffset}, {0, 0}, {1, 1}};
  for (std::int32_t y = 0; y < out.height; ++y) {
    std::uint8_t* row = out.Row(y);
    std::int32_t start = 0;
    int runKind = -1;
    auto flush = [&](std::int32_t end) {
      if (runKind < 0 || end == start) return;
      const int sk = runKind / 3, lk = runKind % 3;
      HslScaleOffset(row + std::size_t(start) * 4, out.stride(), end - start, 1, a.hueScale,
                     scale[sk][0], scale[lk][1], hueOffset, offset[sk][0], offset[lk][1]);
    };
    for (std::int32_t x = 0; x < out.width; ++x) {
      double s, l;
      PixelSaturationLightness(row + std::size_t(x) * 4, &s, &l);
      const int k = kind(s * a.saturationScale + a.saturationOffset) * 3 +
                    kind(l * a.lightnessScale + a.lightnessOffset);
      if (k != runKind) {
        flush(x);
        start = x;
        runKind = k;
      }
    }
    flush(out.width);
  }
  return out;
}

HistogramCounts CountHistogram(const Image& image) {
  HistogramCounts counts;
  counts.peak = Histogram(image.pixels.data(), image.stride(), image.width, image.height,
                          counts.red, counts.green, counts.blue, counts.luma);
  return counts;
}

Image PlotHistogram(const HistogramCounts& counts, std::int32_t kBar, std::int32_t kPanel) {
  constexpr std::int32_t kGap = 4;
  const std::int32_t* series[4] = {counts.red, counts.green, counts.blue, counts.luma};
  static const std::uint8_t kColors[4][3] = {
      {220, 50, 50}, {50, 190, 70}, {60, 90, 230}, {200, 200, 200}};
  static const char* const kNames[4] = {"RED", "GREEN", "BLUE", "LUMA"};
  Image plot(256 * kBar, 4 * kPanel + 3 * kGap);
  for (std::size_t i = 0; i < plot.pixels.size(); i += 4) {
    plot.pixels[i] = plot.pixels[i + 1] = plot.pixels[i + 2] = 24;
    plot.pixels[i + 3] = 255;
  }
  for (int s = 0; s < 4; ++s) {
    const std::int32_t bottom = s * (kPanel + kGap) + kPanel;
    for (int v = 0; v < 256; ++v) {
      const std::int64_t count = series[s][v];
      const std::int32_t height =
          counts.peak > 0
              ? static_cast<std::int32_t>((count * kPanel + counts.peak / 2) / counts.peak)
              : 0;
      for (std::int32_t y = bottom - height; y < bottom; ++y)
        for (std::int32_t x = v * kBar; x < (v + 1) * kBar; ++x) {
          std::uint8_t* p = plot.At(x, y);
          p[0] = kColors[s][2];
          p[1] = kColors[s][1];
          p[2] = kColors[s][0];
        }
    }
    const std::uint8_t white[3] = {255, 255, 255};
    DrawText(plot, 4, s * (kPanel + kGap) + 4, kNames[s], white, 1);
  }
  return plot;
}

namespace {

Transform PrepareDesaturate(const Args& args) {
  const bool alpha = args.Flag("alpha");
  return [=](const Image& image, Progress&) { return DesaturateImage(image, alpha); };
}

Transform PrepareHsl(const Args& args) {
  constexpr double kLimit = 1000;
  HslAdjust a;
  a.hueScale = args.Number("hue-scale", 1, -kLimit, kLimit);
  a.saturationScale = args.Number("saturation-scale", 1, -kLimit, kLimit);
  a.lightnessScale = args.Number("lightness-scale", 1, -kLimit, kLimit);
  a.hueOffset = args.Number("hue-shift", 0, -36000, 36000) / 360.0;
  a.saturationOffset = args.Number("saturation-offset", 0, -kLimit, kLimit);
  a.lightnessOffset = args.Number("lightness-offset", 0, -kLimit, kLimit);
  if (args.Flag("wrap"))
    return [=](const Image& image, Progress&) { return AdjustHsl(image, a); };
  return [=](const Image& image, Progress&) { return AdjustHslClamped(image, a); };
}

int RunHistogram(const Args& args) {
  const Image image = InputImage(args, 0);
  const HistogramCounts counts = CountHistogram(image);
  if (args.Has("plot")) {
    SaveImage(args.String("plot", ""), PlotHistogram(counts, 2, 96));
    return 0;
  }
  std::printf("value\tred\tgreen\tblue\tluma\n");
  for (int v = 0; v < 256; ++v)
    std::printf("%d\t%d\t%d\t%d\t%d\n", v, counts.red[v], counts.green[v], counts.blue[v],
                counts.luma[v]);
  std::printf("peak\t%d\n", counts.peak);
  return 0;
}

}  // namespace

void AddToneCommands(std::vector<Command>& commands) {
  commands.push_back(
      {"desaturate",
       "replace colour by its luminance (Desaturate)",
       {{"input", "image file"}, {"output", "image file to write"}},
       {{"alpha", "", "write the luminance into alpha as well"}},
       std::string("Luminance = (19595 red + 38469 green + 7472 blue + 32768) >> 16 of the\n"
                   "premultiplied bytes.\n\n") +
           kPixelFormatNote,
       nullptr,
       PrepareDesaturate});
  commands.push_back(
      {"hsl",
       "scale and shift hue, saturation and lightness (HslScaleOffset)",
       {{"input", "image file"}, {"output", "image file to write"}},
       {{"hue-shift", "DEGREES", "added to the hue, in degrees (default 0; 120 turns red green)"},
        {"hue-scale", "FACTOR", "hue multiplier (default 1)"},
        {"saturation-scale", "FACTOR", "saturation multiplier (default 1; 0 gives gray)"},
        {"saturation-offset", "AMOUNT", "added to saturation, 0..1 scale (default 0)"},
        {"lightness-scale", "FACTOR", "lightness multiplier (default 1)"},
        {"lightness-offset", "AMOUNT", "added to lightness, 0..1 scale (default 0)"},
        {"wrap", "", "let saturation and lightness leave 0..1, so that channels wrap around"}},
       std::string(
           "Each pixel: hue, saturation and lightness (0..1) each times its scale plus\n"
           "its offset, then back to colour, on the premultiplied bytes.\n"
           "The library does not clamp: a saturation or lightness beyond 0..1 gives\n"
           "channels beyond 0..255, which wrap around (lightness 1.2 on white gives\n"
           "50), and a hue more than a turn from 0..1 comes out wrong. So by default\n"
           "the tool limits both to 0..1 per pixel: a pixel that would leave the range\n"
           "gets the same call with that component fixed at 0 or 1, and the hue shift\n"
           "is taken modulo 360 degrees into the turn the library handles. --wrap\n"
           "passes the numbers to the library as they are, in one call.\n\n") +
           kPixelFormatNote,
       nullptr,
       PrepareHsl});
  commands.push_back(
      {"histogram",
       "count red, green, blue and luminance values (Histogram)",
       {{"input", "image file"}},
       {{"plot", "FILE", "write a PNG bar chart instead of printing the counts"}},
       std::string("Prints one line per value 0..255 (value, red, green, blue and luminance\n"
                   "counts, tab-separated) and the peak count. Counts are of the\n"
                   "premultiplied bytes; alpha is not counted.\n\n") +
           kPixelFormatNote,
       RunHistogram});
  (void)commands;
}

}  // namespace morvex::cli
