// blur and blur-alpha: the Gaussian blur exports.
#include "commands/commands.h"
#include "morvex/native.h"
#include "core/ops.h"

namespace morvex::cli {

namespace {

// A sigma the library honours: 0 (no blur in that direction) or 0.5 to 54.
double SigmaOption(const Args& args, const std::string& option, double fallback) {
  const double v = args.Number(option, fallback, 0, 54);
  if (v > 0 && v < 0.5)
    throw CliError(args.OptionError(option, "'" + args.String(option, "") +
                                                "' is out of range (0 for no blur, or 0.5 to 54)"));
  return v;
}

// --sigma sets both directions; --sigma-x and --sigma-y override one each.
BlurSigmas SigmaOptions(const Args& args) {
  BlurSigmas s;
  const double both = SigmaOption(args, "sigma", 2);
  s.x = SigmaOption(args, "sigma-x", both);
  s.y = SigmaOption(args, "sigma-y", both);
  std::vector<double> pair;
  for (const char* name : {"row-ramp", "column-ramp"}) {
    if (!args.Has(name)) continue;
    if (!ParseNumberList(args.String(name, ""), 2, &pair) || pair[0] < 0 || pair[1] < 0 ||
        pair[0] > 54 || pair[1] > 54)
      throw CliError(args.OptionError(
          name, "'" + args.String(name, "") + "' is not two sigmas FROM,TO (0 to 54)"));
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
    {"sigma", "PIXELS", "standard deviation of both directions, 0 or 0.5..54 (default 2)"},
    {"sigma-x", "PIXELS", "horizontal standard deviation (default: --sigma)"},
    {"sigma-y", "PIXELS", "vertical standard deviation (default: --sigma)"},
    {"row-ramp", "FROM,TO", "horizontal sigma per row, from the top row to the bottom one"},
    {"column-ramp", "FROM,TO", "vertical sigma per column, from the left column to the right one"},
};
constexpr const char* kSigmaNote =
    "Sigmas are 0.5 to 54 pixels, the range the library's filter covers (its\n"
    "cost does not depend on it); 0 leaves that direction unblurred. Ramps run\n"
    "from 0 to 54; where a ramp's sigma is below 0.5 its line is blurred as by\n"
    "0.5, the least the filter does.\n";

Step PrepareBlur(const Args& args) {
  const bool floatPrecision = args.Choice("precision", {"8bit", "float"}, 0) == 1;
  const BlurSigmas sigmas = SigmaOptions(args);
  return [=](Picture& picture, Progress& progress) {
    if (floatPrecision && picture.deepForm()) {
      // 16 bits through the library's float pixels and back, exactly.
      std::vector<float> floats = DeepToFloat(picture.deep);
      const std::int32_t w = picture.width(), h = picture.height();
      picture.deep = StraightPixels();
      BlurFloatPixels(floats, w, h, sigmas, &progress);
      picture.deep = FloatToDeep(floats, w, h);
      return;
    }
    const std::string why = floatPrecision ? "" : "blur works on 8-bit pixels without --precision float";
    PutImage(picture, BlurImage(TakeImage(picture, why), sigmas, floatPrecision, &progress));
  };
}

Transform PrepareBlurAlpha(const Args& args) {
  const BlurSigmas sigmas = SigmaOptions(args);
  const int channel = ChannelOption(args, "channel", 3);
  const double scale = args.Number("scale", 1, -1e6, 1e6);
  const double offset = args.Number("offset", 0, -1e6, 1e6);
  return [=](Image image, Progress&) {
    return BlurChannel(std::move(image), channel, sigmas, scale, offset);
  };
}

}  // namespace

void AddBlurCommands(std::vector<Command>& commands) {
  {
    std::vector<OptionDef> options = kSigmaOptions;
    options.push_back({"precision", "8bit|float",
                       "blur the 8-bit image (default), or a float copy of it, converted back "
                       "rounded to nearest; keeps a 16-bit input at 16 bits"});
    commands.push_back({"blur",
                        "Gaussian blur of all four channels (GaussianBlur)",
                        {{"input", "image file"}, {"output", "image file to write"}},
                        options,
                        std::string(kSigmaNote) +
                            "Colour is blurred premultiplied, so transparent pixels do not "
                            "darken\ntheir neighbours.\n\n" +
                            kFilesNote,
                        nullptr,
                        nullptr,
                        PrepareBlur,
                        // The intermediate, and the float copy with --precision float.
                        36});
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
             kFilesNote,
         nullptr,
         PrepareBlurAlpha,
         nullptr,
         8});
  }
  (void)commands;
}

}  // namespace morvex::cli
