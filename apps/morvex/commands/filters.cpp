// blur3x3, edges and radial-blur: the local and radial filters.
#include <cstdio>

#include "commands/commands.h"
#include "morvex/native.h"
#include "core/ops.h"

namespace morvex::cli {

namespace {

Transform PrepareBlur3x3(const Args& args) {
  const int passes = static_cast<int>(args.Integer("passes", 1, 1, 100));
  return [=](const Image& image, Progress& progress) {
    return Blur3x3Image(image, passes, &progress);
  };
}

Transform PrepareEdges(const Args& args) {
  const double threshold = args.Number("threshold", 0.1, 0, 1);
  const bool gray = args.Flag("gray");
  return [=](const Image& image, Progress&) { return DetectEdges(image, gray, threshold); };
}

Transform PrepareRadialBlur(const Args& args) {
  RadialBlur r;
  const bool middle = !args.Has("center");
  if (!middle) {
    std::vector<double> xy;
    if (!ParseNumberList(args.String("center", ""), 2, &xy))
      throw CliError(args.OptionError(
          "center", "'" + args.String("center", "") + "' is not a position X,Y in pixels"));
    r.centerX = xy[0];
    r.centerY = xy[1];
  }
  const double scale = args.Number("scale", 1.1, 0.01, 100);
  r.scaleX = args.Number("scale-x", scale, 0.01, 100);
  r.scaleY = args.Number("scale-y", scale, 0.01, 100);
  r.gain = args.Number("gain", 1, 0, 100);
  const unsigned channels = args.Choice("channels", {"all", "alpha"}, 0) == 0 ? 15u : 8u;
  const bool slow = args.Flag("slow");
  return [=](const Image& image, Progress& progress) {
    RadialBlur blur = r;
    if (middle) {
      blur.centerX = (image.width - 1) / 2.0;
      blur.centerY = (image.height - 1) / 2.0;
    }
    // The work grows with each pixel's distance from the centre.
    const double samples = RadialSamplesPerElement(image.width, image.height, blur);
    if (!slow && !(samples <= kRadialSampleLimit)) {
      char text[256];
      std::snprintf(text, sizeof text,
                    "with this centre and scale each pixel would average %.0f samples of each "
                    "channel, beyond the limit of %.0f (--slow lifts it)",
                    samples, kRadialSampleLimit);
      throw CliError(text);
    }
    // Every mean of an opaque alpha is 255 (and times a gain of 1 or more, at
    // least that): keep it exact rather than truncate it to 254.
    const bool keepAlpha = blur.gain >= 1 && IsOpaque(image);
    return RadialBlurImage(image, blur, keepAlpha ? channels & 7u : channels, &progress);
  };
}

}  // namespace

void AddFilterCommands(std::vector<Command>& commands) {
  commands.push_back({"blur3x3",
                      "3x3 binomial blur of all four channels (Blur3x3)",
                      {{"input", "image file"}, {"output", "image file to write"}},
                      {{"passes", "N", "apply the filter N times (default 1)"}},
                      std::string("Each pass: (1 2 1; 2 4 2; 1 2 1) / 16, truncated; edges "
                                  "repeat.\n\n") +
                          kFilesNote,
                      nullptr,
       PrepareBlur3x3});
  commands.push_back(
      {"edges",
       "mark edges: largest difference of opposite neighbours (EdgeDetect)",
       {{"input", "image file"}, {"output", "image file to write"}},
       {{"threshold", "LEVEL", "0..1 of full scale; weaker edges become black (default 0.1)"},
        {"gray", "",
         "gray strength from the blue channel, instead of a two-valued mark per channel"}},
       std::string("The result is opaque. Without --gray each colour channel is 0 or the\n"
                   "threshold level; with it, the strength of the blue channel's edges.\n"
                   "The first and last column are black.\n\n") +
           kFilesNote,
       nullptr,
       PrepareEdges});
  commands.push_back(
      {"radial-blur",
       "zoom blur towards a centre, per channel (RadialBlurMask)",
       {{"input", "image file"}, {"output", "image file to write"}},
       {{"center", "X,Y", "centre in pixels (default: the middle of the image)"},
        {"scale", "FACTOR", "zoom of both axes; above 1 blurs towards the centre (default 1.1)"},
        {"scale-x", "FACTOR", "horizontal zoom (default: --scale)"},
        {"scale-y", "FACTOR", "vertical zoom (default: --scale)"},
        {"gain", "FACTOR", "multiplies each mean (default 1)"},
        {"channels", "all|alpha", "blur every channel (default) or alpha alone"},
        {"slow", "", "allow more than 256 samples a pixel on average (a far centre)"}},
       std::string("Each element averages samples on the segment from itself towards\n"
                   "centre + (position - centre) / scale, so the blur grows with the distance\n"
                   "from the centre. Results are truncated; 255 and above store 255. On an\n"
                   "opaque image with a gain of 1 or more alpha stays 255 (not blurred).\n"
                   "The work grows with the distance too: a pixel averages one sample per\n"
                   "pixel of its segment, |position - centre| * |1 - 1/scale|. A centre far\n"
                   "outside the image makes every segment long, so more than 256 samples a\n"
                   "pixel on average is refused unless --slow (a 12-megapixel image takes\n"
                   "about a second per 10 samples a pixel).\n\n") +
           kFilesNote,
       nullptr,
       PrepareRadialBlur});
  (void)commands;
}

}  // namespace morvex::cli
