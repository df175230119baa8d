// composite, blend and multiply: the blending and compositing exports.
#include <algorithm>
#include <memory>

#include <utility>

#include "commands/commands.h"
#include "morvex/native.h"
#include "core/ops.h"
#include "core/layers.h"
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

constexpr const char* kRawHelp =
    "pass the premultiplied bytes to the export as they are (see below)";

Step PrepareComposite(const Args& args) {
  static const int kModes[] = {1, 3, 4, 5, 6, 7};
  const int mode =
      kModes[args.Choice("mode", {"normal", "add", "multiply", "overlay", "screen", "average"}, 0)];
  const double opacity = args.Number("opacity", 1, 0, 1);
  std::int64_t x = 0, y = 0;
  if (args.Has("at") && !ParseSize(args.String("at", ""), &x, &y))
    throw CliError(args.OptionError(
        "at", "'" + args.String("at", "") + "' is not a position X,Y in whole pixels"));
  if (x < -kMaxDimension || x > kMaxDimension || y < -kMaxDimension || y > kMaxDimension)
    throw CliError(args.OptionError("at", "'" + args.String("at", "") + "' is out of range (" +
                                              std::to_string(-kMaxDimension) + " to " +
                                              std::to_string(kMaxDimension) + " each)"));
  const bool raw = args.Flag("raw");
  // The overlay is read once: premultiplied for the raw export, straight as a layer.
  const auto overlay = std::make_shared<const Image>(raw ? LoadImage(args.Operand(0))
                                                         : LoadStraight(args.Operand(0)));
  const auto ax = std::int32_t(x), ay = std::int32_t(y);
  return [=](Picture& picture, Progress&) {
    const std::string why = "composite works on 8-bit pixels";
    if (raw)
      PutImage(picture, CompositeImages(TakeImage(picture, why), *overlay, ax, ay, mode, opacity));
    else
      PutImage(picture, CompositeLayer(TakeStraight(picture, why), *overlay, ax, ay, mode, opacity));
  };
}

Step PrepareBlend(const Args& args) {
  const bool masked = args.Has("mask");
  if (!masked && (args.Has("fade") || args.Has("weight-table")))
    throw CliError(std::string(args.Has("fade") ? "--fade" : "--weight-table") +
                   " needs --mask (see morvex blend --help)");
  if (args.Has("fade") && args.Has("weight-table"))
    throw CliError("--weight-table does not apply with --fade");
  if (masked && args.Has("amount")) throw CliError("--amount does not apply with --mask");
  const double amount = args.Number("amount", 0.5, 0, 1);
  const bool fade = args.Flag("fade");
  // MaskedFade mixes premultiplied pixels, alpha included: it is a layer mix already.
  const bool raw = args.Flag("raw") || fade;
  auto table = std::make_shared<ChannelTable>();
  const bool withTable = args.Has("weight-table");
  if (withTable) {
    const std::string path = args.String("weight-table", "");
    *table = ParseCurveTable(ReadTextFile(path), path);
  }
  const std::string otherPath = args.Operand(0), maskPath = args.String("mask", "");
  const auto other =
      std::make_shared<const Image>(raw ? LoadImage(otherPath) : LoadStraight(otherPath));
  std::shared_ptr<const Image> weights;
  if (masked) {
    weights = std::make_shared<const Image>(LoadStraight(maskPath));
    RequireSameSize(*other, otherPath, *weights, maskPath);
  }
  return [=](Picture& picture, Progress&) {
    const ChannelTable* remap = withTable ? table.get() : nullptr;
    const std::string why = "blend works on 8-bit pixels";
    Image base = raw ? TakeImage(picture, why) : TakeStraight(picture, why);
    RequireSameSize(base, "the image", *other, otherPath);
    Image result;
    if (masked)
      result = raw ? MaskedBlendImages(base, *other, *weights, fade, remap)
                   : MaskedBlendLayer(base, *other, *weights, remap);
    else
      result = raw ? BlendImages(base, *other, amount) : BlendLayer(base, *other, amount);
    PutImage(picture, std::move(result));
  };
}

Transform PrepareMultiply(const Args& args) {
  if (!args.Has("mask")) {
    for (const char* option : {"channel", "mask-channel", "scale", "offset", "raw"})
      if (args.Has(option)) throw CliError("--" + std::string(option) + " needs --mask");
    if (!args.Has("factor"))
      throw CliError("--factor or --mask is needed (see morvex multiply --help)");
    const double factor = args.Number("factor", 1, 0, 1);
    return [=](Image image, Progress&) { return MultiplyImage(std::move(image), factor); };
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
  // One mask for every image of a batch, read once and shared read-only. As a
  // layer its alpha is its coverage: colour weights count where it covers,
  // and alpha as a weight (mask channel alpha) counts as it is. Each channel
  // by its own leaves the image's alpha alone.
  Image loaded = LoadStraight(maskPath);
  if (!args.Flag("raw") && maskChannel != 3)
    loaded = CoveredWeights(loaded, /*keepAlpha=*/false);
  const auto weights = std::make_shared<const Image>(std::move(loaded));
  return [=](Image image, Progress&) {
    RequireSameSize(image, "the image", *weights, maskPath);
    return MaskMultiplyImage(std::move(image), *weights, dstChannel, maskChannel, scale, offset);
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
        {"at", "X,Y", "position of the overlay's top-left corner in BASE (default 0,0)"},
        {"raw", "", kRawHelp}},
       std::string(
           "The result has BASE's size; only the part the overlay covers changes.\n"
           "The overlay is a layer, as in image editors: where it is transparent BASE\n"
           "is unchanged, where it is opaque BASE gets the mode's result of the two\n"
           "colours, in between in proportion to the overlay's alpha times --opacity;\n"
           "an opaque BASE stays opaque. (Composite on the opaque colours, mixed by\n"
           "the alphas with MaskedBlend, then Composite normal.)\n"
           "--raw calls Composite once on the premultiplied bytes: its modes act on\n"
           "alpha too, and add, overlay and screen can leave colour above alpha.\n"
           "With --out-dir, the one OVERLAY (last) is laid on every BASE.\n\n") +
           kFilesNote,
       nullptr,
       nullptr,
       PrepareComposite});
  commands.push_back(
      {"blend",
       "mix a second image into the colour of the first (Blend, MaskedBlend, MaskedFade)",
       {{"base", "image file"},
        {"other", "image file of the same size"},
        {"output", "image file to write"}},
       {{"amount", "AMOUNT", "share of OTHER's colour, 0..1 (default 0.5; Blend)"},
        {"mask", "FILE", "per-pixel, per-channel shares from a PNG of the same size (MaskedBlend)"},
        {"weight-table", "FILE", "remap the mask's values through curves, as for lut"},
        {"fade", "", "mix alpha as well, by the mask's alpha (MaskedFade)"},
        {"raw", "", kRawHelp}},
       std::string(
           "BASE keeps its alpha (except with --fade). OTHER is a layer: its colour\n"
           "is mixed in by the share times its own alpha, so where it is transparent\n"
           "BASE is unchanged. Mask samples are weights, read as stored: red, green\n"
           "and blue weigh their channels (255 takes OTHER whole), times the mask's\n"
           "alpha, so a transparent mask changes nothing. Colours mix straight (not\n"
           "premultiplied), then take BASE's alpha. --raw calls Blend or MaskedBlend\n"
           "on the premultiplied bytes (colour limited to BASE's alpha). --fade\n"
           "(MaskedFade) mixes the premultiplied pixels, alpha by the mask's alpha;\n"
           "a mask without alpha takes OTHER's alpha. With --out-dir, the one OTHER\n"
           "(last) is mixed into every BASE.\n\n") +
           kFilesNote,
       nullptr,
       nullptr,
       PrepareBlend});
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
        {"offset", "LEVELS", "added to the scaled mask value, on the 0..255 scale (default 0)"},
        {"raw", "", kRawHelp}},
       std::string(
           "A mask value of 255 keeps a channel, 0 clears it. Mask samples are read\n"
           "as stored (not premultiplied). The mask is a layer: where it is\n"
           "transparent its red, green and blue count as 255 (no change), in between\n"
           "in proportion to its alpha; with --mask-channel alpha its alpha is the\n"
           "weight itself. Each channel by its own (the default) leaves alpha as it\n"
           "is; one mask channel scales alpha like colour, so with a factor of 1 or\n"
           "less the image stays premultiplied. --raw uses the mask's samples as\n"
           "they are, alpha by the mask's alpha too.\n\n") +
           kFilesNote,
       nullptr,
       PrepareMultiply});
  (void)commands;
}

}  // namespace morvex::cli
