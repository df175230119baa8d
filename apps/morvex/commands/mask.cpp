// noise, scale-mask and shear: the mask and geometry exports.
#include <cmath>
#include <memory>

#include "commands/commands.h"
#include "runner.h"
#include "morvex/native.h"
#include "core/ops.h"
#include "files/image_io.h"

namespace morvex::cli {

namespace {

// A --size WxH option within the limits of images the tool reads.
[[maybe_unused]] void SizeOption(const Args& args, std::int64_t* w, std::int64_t* h) {
  if (!args.Has("size")) return;
  const std::string text = args.String("size", "");
  if (!ParseSize(text, w, h)) throw CliError(args.OptionError("size", "'" + text + "' is not WxH"));
  if (*w < 1 || *h < 1 || *w > kMaxDimension || *h > kMaxDimension || *w * *h > kMaxPixels)
    throw CliError(args.OptionError("size", "'" + text + "' is out of range (at most " +
                                                std::to_string(kMaxDimension) + " on a side and " +
                                                std::to_string(kMaxPixels) + " pixels)"));
}

[[maybe_unused]] void SaveMask(const Args& args, std::size_t index, const FloatMask& mask) {
  OutputImage(args, index, MaskToGray(mask, !args.Flag("as-alpha")));
}

int RunNoise(const Args& args) {
  CheckOverwrite(args, {args.Positional(0)});
  const bool grain = args.Has("multiply");
  const double low = args.Number("low", grain ? 0.75 : 0, -1e6, 1e6);
  const double high = args.Number("high", grain ? 1 : 255, -1e6, 1e6);
  const auto seed = static_cast<std::uint32_t>(args.Integer("seed", 1, 0, 0xFFFFFFFFll));
  if (!grain) {
    if (args.Has("channel")) throw CliError("--channel needs --multiply");
    std::int64_t w = 256, h = 256;
    SizeOption(args, &w, &h);
    SaveMask(args, 0, NoiseMask(std::int32_t(w), std::int32_t(h), float(low), float(high), seed));
    return 0;
  }
  if (args.Has("size")) throw CliError("--size does not apply with --multiply (the input sets it)");
  if (args.Has("as-alpha")) throw CliError("--as-alpha does not apply with --multiply");
  const Image image = LoadImage(args.String("multiply", ""));
  const int channel = ChannelOption(args, "channel", 3);
  FloatMask mask = ChannelToMask(image, channel);
  MultiplyMaskBy(mask, NoiseMask(image.width, image.height, float(low), float(high), seed));
  OutputImage(args, 0, CopyChannelFrom(image, channel, MaskToGray(mask, false), channel));
  return 0;
}

MaskRect RectOption(const Args& args, const std::string& option, MaskRect fallback) {
  if (!args.Has(option)) return fallback;
  std::vector<double> v;
  if (!ParseNumberList(args.String(option, ""), 4, &v))
    throw CliError(args.OptionError(
        option, "'" + args.String(option, "") + "' is not a rectangle X,Y,WIDTH,HEIGHT"));
  for (double value : v)
    if (std::fabs(value) > 1e6)
      throw CliError(args.OptionError(
          option, "'" + args.String(option, "") + "' is out of range (-1000000 to 1000000 each)"));
  return {float(v[0]), float(v[1]), float(v[2]), float(v[3])};
}

Transform PrepareScaleMask(const Args& args) {
  const int channel = ChannelOption(args, "channel", 3);
  const int mode = static_cast<int>(args.Choice("mode", {"replace", "blend", "multiply"}, 0));
  if (mode != 1 && args.Has("amount")) throw CliError("--amount applies to --mode blend only");
  const double amount = args.Number("amount", 0.5, 0, 1);
  if (mode != 0 && !args.Has("onto"))
    throw CliError("--mode " + args.String("mode", "") +
                   " needs --onto (the mask to combine with)");
  std::shared_ptr<const FloatMask> onto;
  bool sized = false;
  std::int64_t w = 0, h = 0;
  if (args.Has("onto")) {
    if (args.Has("size")) throw CliError("--size does not apply with --onto (that image sets it)");
    onto = std::make_shared<const FloatMask>(ChannelToMask(LoadImage(args.String("onto", "")), channel));
  } else if (args.Has("size")) {
    SizeOption(args, &w, &h);
    sized = true;
  }
  const bool hasFrom = args.Has("from-rect"), hasTo = args.Has("to-rect");
  const MaskRect fromOption = RectOption(args, "from-rect", {0, 0, 0, 0});
  const MaskRect toOption = RectOption(args, "to-rect", {0, 0, 0, 0});
  const bool asAlpha = args.Flag("as-alpha");
  return [=](const Image& image, Progress&) {
    FloatMask target = onto ? *onto
                            : sized ? FloatMask(std::int32_t(w), std::int32_t(h))
                                    : FloatMask(image.width, image.height);
    const FloatMask from = ChannelToMask(image, channel);
    const MaskRect fromRect = hasFrom ? fromOption : MaskRect{0, 0, float(from.width), float(from.height)};
    const MaskRect toRect =
        hasTo ? toOption : MaskRect{0, 0, float(target.width), float(target.height)};
    ScaleMaskOnto(target, toRect, from, fromRect, mode, float(amount));
    return MaskToGray(target, !asAlpha);
  };
}

Transform PrepareShear(const Args& args) {
  static const int kDirections[] = {2, 1, 3, 0};
  const int direction = kDirections[args.Choice("direction", {"right", "left", "down", "up"}, 0)];
  const double factor = args.Number("factor", 0.25, -100, 100);
  return [=](const Image& image, Progress&) { return ShearImage(image, direction, factor); };
}

}  // namespace

void AddMaskCommands(std::vector<Command>& commands) {
  commands.push_back(
      {"noise",
       "reproducible noise as a grey image, or as grain on one channel (GenerateNoiseMask)",
       {{"output", "image file to write"}},
       {{"size", "WxH", "size of the noise image (default 256x256)"},
        {"low", "VALUE", "value of the lowest of 1024 levels (default 0; 0.75 with --multiply)"},
        {"high", "VALUE", "value of the highest level (default 255; 1 with --multiply)"},
        {"seed", "N", "generator seed, 0..4294967295 (default 1)"},
        {"as-alpha", "", "write the noise as white with that alpha instead of opaque grey"},
        {"multiply", "FILE", "multiply a channel of this PNG by the noise instead (MultiplyMasks)"},
        {"channel", "CHANNEL", "with --multiply: the channel to grain (default alpha)"}},
       std::string("Every element takes one of 1024 evenly spaced levels from LOW to HIGH,\n"
                   "picked by a seeded generator: the same seed and size give the same noise.\n"
                   "Values are rounded to nearest and clamped to 0..255 when written.\n\n") +
           kFilesNote,
       RunNoise});
  commands.push_back(
      {"scale-mask",
       "resample one channel as a mask, bilinear, with sub-pixel rectangles (ScaleMask)",
       {{"input", "image file"}, {"output", "image file to write (grey)"}},
       {{"channel", "CHANNEL", "channel used as the mask: alpha (default), red, green or blue"},
        {"size", "WxH", "size of the result (default: the input's)"},
        {"from-rect", "X,Y,W,H", "rectangle of the input to map, in pixels (default: all of it)"},
        {"to-rect", "X,Y,W,H", "where it lands in the result, in pixels (default: all of it)"},
        {"mode", "MODE", "replace (default), blend or multiply, with the --onto mask"},
        {"amount", "AMOUNT", "--mode blend: share of the scaled mask, 0..1 (default 0.5)"},
        {"onto", "FILE", "start from the same channel of this PNG instead of black"},
        {"as-alpha", "", "write white with the mask as alpha instead of opaque grey"}},
       std::string("The rectangles' first and last pixels meet exactly (endpoints aligned).\n"
                   "The library refuses when the target rectangle, clipped to both masks,\n"
                   "is 1 pixel or less wide or high.\n\n") +
           kFilesNote,
       nullptr,
       PrepareScaleMask});
  commands.push_back(
      {"shear",
       "skew the image along one axis, with sub-pixel shifts (Shear)",
       {{"input", "image file"}, {"output", "image file to write (larger)"}},
       {{"factor", "PIXELS", "shift per row or column, in pixels (default 0.25)"},
        {"direction", "DIR",
         "right (default): lower rows move right; left: lower rows move left; down: columns "
         "further right move down; up: they move up"}},
       std::string("The output grows to hold the sheared extent; uncovered ends repeat each\n"
                   "line's first or last pixel. A negative factor shifts the other way and\n"
                   "cuts off the start of later lines.\n\n") +
           kFilesNote,
       nullptr,
       PrepareShear});
  (void)commands;
}

}  // namespace morvex::cli
