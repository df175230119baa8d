// desaturate, hsl and histogram: the tone exports.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include <utility>

#include "commands/commands.h"
#include "runner.h"
#include "core/font.h"
#include "morvex/native.h"
#include "core/ops.h"
#include "files/image_io.h"

namespace morvex::cli {

namespace {

Transform PrepareDesaturate(const Args& args) {
  const bool alpha = args.Flag("alpha");
  return [=](Image image, Progress&) { return DesaturateImage(std::move(image), alpha); };
}

Transform PrepareHsl(const Args& args) {
  constexpr double kLimit = 1000;
  HslAdjust a;
  a.hueScale = args.Number("hue-scale", 1, -kLimit, kLimit);
  a.saturationScale = args.Number("saturation-scale", 1, -kLimit, kLimit);
  a.lightnessScale = args.Number("lightness-scale", 1, -kLimit, kLimit);
  a.hueOffset = args.Number("hue-shift", 0, -36000, 36000) / 360.0;
  // Beyond a third of a turn either side of one turn, some hues leave the
  // turn the library brings back, whatever the shift.
  if (!args.Flag("wrap") && std::fabs(a.hueScale) > 4.0 / 3.0)
    throw CliError(args.OptionError("hue-scale", "'" + args.String("hue-scale", "") +
                                                     "' is out of range (-1.333 to 1.333; "
                                                     "--wrap passes any value)"));
  a.saturationOffset = args.Number("saturation-offset", 0, -kLimit, kLimit);
  a.lightnessOffset = args.Number("lightness-offset", 0, -kLimit, kLimit);
  if (args.Flag("wrap"))
    return [=](Image image, Progress&) { return AdjustHsl(std::move(image), a); };
  return [=](Image image, Progress&) { return AdjustHslClamped(std::move(image), a); };
}

int RunHistogram(const Args& args) {
  if (args.Has("plot")) CheckOverwrite(args, {args.String("plot", "")});
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
           kFilesNote,
       nullptr,
       PrepareDesaturate});
  commands.push_back(
      {"hsl",
       "scale and shift hue, saturation and lightness (HslScaleOffset)",
       {{"input", "image file"}, {"output", "image file to write"}},
       {{"hue-shift", "DEGREES", "added to the hue, in degrees (default 0; 120 turns red green)"},
        {"hue-scale", "FACTOR", "hue multiplier, -4/3..4/3 (default 1; any with --wrap)"},
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
           "passes the numbers to the library as they are, on every pixel.\n\n") +
           kFilesNote,
       nullptr,
       PrepareHsl});
  commands.push_back(
      {"histogram",
       "count red, green, blue and luminance values (Histogram)",
       {{"input", "image file"}},
       {{"plot", "FILE", "write a PNG bar chart instead of printing the counts"},
        {"overwrite", "", "-y: replace the --plot file if it exists"}},
       std::string("Prints one line per value 0..255 (value, red, green, blue and luminance\n"
                   "counts, tab-separated) and the peak count. Counts are of the\n"
                   "premultiplied bytes; alpha is not counted.\n\n") +
           kFilesNote,
       RunHistogram});
  (void)commands;
}

}  // namespace morvex::cli
