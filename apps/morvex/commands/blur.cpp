// blur and blur-alpha: the Gaussian blur exports.
#include "commands/commands.h"
#include "morvex/native.h"
#include "core/ops.h"

namespace morvex::cli {

namespace {

// --sigma sets both directions; --sigma-x and --sigma-y override one each.
BlurSigmas SigmaOptions(const Args& args) {
  constexpr double kMax = 1e6;
  BlurSigmas s;
  const double both = args.Number("sigma", 2, 0, kMax);
  s.x = args.Number("sigma-x", both, 0, kMax);
  s.y = args.Number("sigma-y", both, 0, kMax);
  std::vector<double> pair;
  for (const char* name : {"row-ramp", "column-ramp"}) {
    if (!args.Has(name)) continue;
    if (!ParseNumberList(args.String(name, ""), 2, &pair) || pair[0] < 0 || pair[1] < 0)
      throw CliError(args.OptionError(
          name, "'" + args.String(name, "") + "' is not two sigmas FROM,TO (0 or more)"));
    if (name[0] == 'r') {
      s.rowRamp = true;
      s.rowFrom = pair[0];
      s.rowTo = pair[1];
    } else {
      s.columnRamp = true;
      s.columnFrom = pair[0];
      s.columnTo = pair[1];
    }
  }
  return s;
}

const std::vector<OptionDef> kSigmaOptions = {
    {"sigma", "PIXELS", "standard deviation of both directions (default 2)"},
    {"sigma-x", "PIXELS", "horizontal standard deviation (default: --sigma)"},
    {"sigma-y", "PIXELS", "vertical standard deviation (default: --sigma)"},
    {"row-ramp", "FROM,TO", "horizontal sigma per row, from the top row to the bottom one"},
    {"column-ramp", "FROM,TO", "vertical sigma per column, from the left column to the right one"},
};
constexpr const char* kSigmaNote =
    "The library limits every sigma to 0.5 .. 54 pixels; the cost does not\n"
    "depend on it.\n";

Transform PrepareBlur(const Args& args) {
  const bool floatPrecision = args.Choice("precision", {"8bit", "float"}, 0) == 1;
  const BlurSigmas sigmas = SigmaOptions(args);
  return [=](const Image& image, Progress& progress) {
    return BlurImage(image, sigmas, floatPrecision, &progress);
  };
}

Transform PrepareBlurAlpha(const Args& args) {
  const BlurSigmas sigmas = SigmaOptions(args);
  const int channel = ChannelOption(args, "channel", 3);
  const double scale = args.Number("scale", 1, -1e6, 1e6);
  const double offset = args.Number("offset", 0, -1e6, 1e6);
  return [=](const Image& image, Progress&) {
    return BlurChannel(image, channel, sigmas, scale, offset);
  };
}

}  // namespace

void AddBlurCommands(std::vector<Command>& commands) {
  {
    std::vector<OptionDef> options = kSigmaOptions;
    options.push_back({"precision", "8bit|float",
                       "blur the 8-bit image (default), or a float copy of it, converted back "
                       "rounded to nearest"});
    commands.push_back({"blur",
                        "Gaussian blur of all four channels (GaussianBlur)",
                        {{"input", "image file"}, {"output", "image file to write"}},
                        options,
                        std::string(kSigmaNote) +
                            "Colour is blurred premultiplied, so transparent pixels do not "
                            "darken\ntheir neighbours.\n\n" +
                            kPixelFormatNote,
                        nullptr,
                        PrepareBlur});
  }
  {
    std::vector<OptionDef> options = kSigmaOptions;
    options.push_back(
        {"channel", "CHANNEL", "channel to blur: alpha (default), red, green or blue"});
    options.push_back({"scale", "FACTOR", "each blurred value is multiplied by this (default 1)"});
    options.push_back(
        {"offset", "LEVELS", "and then this is added, on the 0..255 scale (default 0)"});
    commands.push_back(
        {"blur-alpha",
         "Gaussian blur of the alpha channel alone (GaussianBlurMask)",
         {{"input", "image file"}, {"output", "image file to write"}},
         options,
         std::string(kSigmaNote) +
             "Results are rounded to nearest (halves to even) and clamped to 0..255.\n"
             "The other channels are not touched: the premultiplied colour keeps its\n"
             "values, so where alpha falls below it the saved colour saturates.\n"
             "--scale -1 --offset 255 writes the inverted blurred channel.\n\n" +
             kPixelFormatNote,
         nullptr,
         PrepareBlurAlpha});
  }
  (void)commands;
}

}  // namespace morvex::cli
