// composite, blend and multiply: the blending and compositing exports.
#include <algorithm>
#include <memory>

#include "commands/commands.h"
#include "morvex/native.h"
#include "core/ops.h"
#include "files/image_io.h"

namespace morvex::cli {

namespace {

[[maybe_unused]] void RequireSameSize(const Image& a, const std::string& aName, const Image& b,
                                      const std::string& bName) {
  if (a.width != b.width || a.height != b.height)
    throw CliError(bName + " is " + std::to_string(b.width) + "x" + std::to_string(b.height) +
                   " pixels but " + aName + " is " + std::to_string(a.width) + "x" +
                   std::to_string(a.height) + ": the sizes must match");
}

}  // namespace

namespace {

int RunComposite(const Args& args) {
  static const int kModes[] = {1, 3, 4, 5, 6, 7};
  const int mode =
      kModes[args.Choice("mode", {"normal", "add", "multiply", "overlay", "screen", "average"}, 0)];
  const double opacity = args.Number("opacity", 1, 0, 1);
  std::int64_t x = 0, y = 0;
  if (args.Has("at") && !ParseSize(args.String("at", ""), &x, &y))
    throw CliError(args.OptionError(
        "at", "'" + args.String("at", "") + "' is not a position X,Y in whole pixels"));
  if (x < -kMaxDimension || x > kMaxDimension || y < -kMaxDimension || y > kMaxDimension)
    throw CliError(args.OptionError("at", "'" + args.String("at", "") + "' is out of range"));
  const Image base = InputImage(args, 0), overlay = InputImage(args, 1);
  OutputImage(args, 2,
              CompositeImages(base, overlay, std::int32_t(x), std::int32_t(y), mode, opacity));
  return 0;
}

int RunBlend(const Args& args) {
  const bool masked = args.Has("mask");
  if (!masked && (args.Has("fade") || args.Has("weight-table")))
    throw CliError(std::string(args.Has("fade") ? "--fade" : "--weight-table") +
                   " needs --mask (see morvex blend --help)");
  if (args.Has("fade") && args.Has("weight-table"))
    throw CliError("--weight-table does not apply with --fade");
  if (masked && args.Has("amount")) throw CliError("--amount does not apply with --mask");
  const double amount = args.Number("amount", 0.5, 0, 1);
  ChannelTable table;
  if (args.Has("weight-table")) {
    const std::string path = args.String("weight-table", "");
    table = ParseCurveTable(ReadTextFile(path), path);
  }
  const Image base = InputImage(args, 0), other = InputImage(args, 1);
  RequireSameSize(base, args.Positional(0), other, args.Positional(1));
  Image result;
  if (masked) {
    const Image weights = LoadWeights(args.String("mask", ""));
    RequireSameSize(base, args.Positional(0), weights, args.String("mask", ""));
    result = MaskedBlendImages(base, other, weights, args.Flag("fade"),
                               args.Has("weight-table") ? &table : nullptr);
  } else {
    result = BlendImages(base, other, amount);
  }
  OutputImage(args, 2, result);
  return 0;
}

Transform PrepareMultiply(const Args& args) {
  if (!args.Has("mask")) {
    for (const char* option : {"channel", "mask-channel", "scale", "offset"})
      if (args.Has(option)) throw CliError("--" + std::string(option) + " needs --mask");
    if (!args.Has("factor"))
      throw CliError("--factor or --mask is needed (see morvex multiply --help)");
    const double factor = args.Number("factor", 1, 0, 1);
    return [=](const Image& image, Progress&) { return MultiplyImage(image, factor); };
  }
  if (args.Has("factor")) throw CliError("--factor does not apply with --mask");
  const int dstChannel = args.Has("channel") ? ChannelOption(args, "channel", 3) : -1;
  int maskChannel;
  if (dstChannel >= 0) {
    maskChannel = ChannelOption(args, "mask-channel", dstChannel);
  } else {
    maskChannel = static_cast<int>(
                      args.Choice("mask-channel", {"each", "blue", "green", "red", "alpha"}, 0)) -
                  1;
  }
  const double scale = args.Number("scale", 1, -16, 16);
  const double offset = args.Number("offset", 0, -2048, 2048);
  const std::string maskPath = args.String("mask", "");
  // One mask for every image of a batch, read once and shared read-only.
  const auto weights = std::make_shared<const Image>(LoadWeights(maskPath));
  return [=](const Image& image, Progress&) {
    RequireSameSize(image, "the image", *weights, maskPath);
    return MaskMultiplyImage(image, *weights, dstChannel, maskChannel, scale, offset);
  };
}

}  // namespace

void AddBlendCommands(std::vector<Command>& commands) {
  commands.push_back(
      {"composite",
       "lay one image over another with a blend mode (Composite)",
       {{"base", "image file underneath"},
        {"overlay", "image file laid on top"},
        {"output", "image file to write"}},
       {{"mode", "MODE", "normal (default), add, multiply, overlay, screen or average"},
        {"opacity", "AMOUNT", "strength of the overlay, 0..1 (default 1)"},
        {"at", "X,Y", "position of the overlay's top-left corner in BASE (default 0,0)"}},
       std::string("The result has BASE's size; only the part the overlay covers changes.\n"
                   "Modes work on the premultiplied bytes: normal is source-over; add,\n"
                   "overlay and screen can leave colour above alpha, which saves as 255.\n\n") +
           kPixelFormatNote,
       RunComposite});
  commands.push_back(
      {"blend",
       "mix a second image into the colour of the first (Blend, MaskedBlend, MaskedFade)",
       {{"base", "image file"},
        {"other", "image file of the same size"},
        {"output", "image file to write"}},
       {{"amount", "AMOUNT", "share of OTHER's colour, 0..1 (default 0.5; Blend)"},
        {"mask", "FILE", "per-pixel, per-channel shares from a PNG of the same size (MaskedBlend)"},
        {"weight-table", "FILE", "remap the mask's values through curves, as for lut"},
        {"fade", "", "mix alpha as well, by the mask's alpha (MaskedFade)"}},
       std::string("BASE keeps its alpha (except with --fade) and colour is limited to it.\n"
                   "Mask samples are weights, read as stored (not premultiplied): red,\n"
                   "green and blue weigh their channels, 255 takes OTHER whole. With --fade\n"
                   "the mask's alpha weighs alpha; a mask without alpha takes OTHER's alpha.\n\n") +
           kPixelFormatNote,
       RunBlend});
  commands.push_back(
      {"multiply",
       "scale pixels by a factor or by a mask (Multiply, MaskMultiply, MultiplyChannel)",
       {{"input", "image file"}, {"output", "image file to write"}},
       {{"factor", "AMOUNT", "multiply all four channels by this, 0..1 (Multiply)"},
        {"mask", "FILE", "multiply by the samples of a PNG of the same size (MaskMultiply)"},
        {"mask-channel", "CHANNEL",
         "each (default: every channel by its own), red, green, blue "
         "or alpha"},
        {"channel", "CHANNEL", "scale this channel alone (MultiplyChannel)"},
        {"scale", "FACTOR", "mask value m becomes m * scale + offset (default 1)"},
        {"offset", "LEVELS", "added to the scaled mask value, on the 0..255 scale (default 0)"}},
       std::string("A mask value of 255 keeps a channel, 0 clears it. Mask samples are read\n"
                   "as stored (not premultiplied). Alpha is scaled like colour, so with one\n"
                   "mask channel of factor 1 or less the image stays premultiplied.\n\n") +
           kPixelFormatNote,
       nullptr,
       PrepareMultiply});
  (void)commands;
}

}  // namespace morvex::cli
