// lut, levels and gradient-map: the lookup-table exports, and the float-mask
// conversions the mask commands use.
#include <tuple>

#include <utility>

#include "commands/commands.h"
#include "morvex/native.h"
#include "core/ops.h"

namespace morvex::cli {

namespace {

// Channel groups for --channels.
unsigned ChannelGroupOption(const Args& args, const std::string& option) {
  static const unsigned kBits[] = {kColorBits, kRedBit,   kGreenBit,
                                   kBlueBit,   kAlphaBit, kColorBits | kAlphaBit};
  return kBits[args.Choice(option, {"rgb", "red", "green", "blue", "alpha", "all"}, 0)];
}

Transform TableTransform(const ChannelTable& table, bool clampToAlpha) {
  return [=](Image image, Progress&) { return ApplyTable(std::move(image), table, clampToAlpha); };
}

Transform PrepareLut(const Args& args) {
  const std::string path = args.String("table", "");
  if (path.empty()) throw CliError("--table FILE is needed (see morvex lut --help)");
  return TableTransform(ParseCurveTable(ReadTextFile(path), path), !args.Flag("no-alpha-clamp"));
}

Transform PrepareLevels(const Args& args) {
  Levels levels;
  levels.inBlack = args.Number("black", 0, 0, 254);
  levels.inWhite = args.Number("white", 255, 1, 255);
  if (levels.inWhite <= levels.inBlack)
    throw CliError(args.OptionError("white", "must be above --black"));
  levels.gamma = args.Number("gamma", 1, 0.01, 100);
  levels.outBlack = args.Number("out-black", 0, 0, 255);
  levels.outWhite = args.Number("out-white", 255, 0, 255);
  return TableTransform(LevelsTable(levels, ChannelGroupOption(args, "channels")),
                        !args.Flag("no-alpha-clamp"));
}

const char* const kTableNote =
    "Tables act on the premultiplied bytes, so on translucent pixels a curve\n"
    "sees colour scaled by alpha. After the table, colour is limited to the new\n"
    "alpha (LutWithAlphaClamp); --no-alpha-clamp skips that (Lut).\n";

Transform PrepareGradientMap(const Args& args) {
  std::uint8_t from[4], to[4];
  for (auto [name, rgba, fallback] :
       {std::tuple{"from", from, "black"}, std::tuple{"to", to, "white"}}) {
    const std::string text = args.String(name, fallback);
    if (!ParseColor(text, rgba))
      throw CliError(
          args.OptionError(name, "'" + text + "' is not a colour (#RRGGBB, #RRGGBBAA or a name)"));
  }
  const std::vector<std::string> sources = {"blue", "green", "red",    "alpha",
                                            "luma", "sum",   "sum-all"};
  const std::size_t fallback = 4;
  const auto source = static_cast<MapSource>(args.Choice("channel", sources, fallback));
  const PixelTable table = GradientTable(from, to);
  return [=](const Image& image, Progress&) { return GradientMap(image, source, table); };
}

}  // namespace

void AddPixelCommands(std::vector<Command>& commands) {
  commands.push_back(
      {"lut",
       "apply per-channel curves from a text table (LutWithAlphaClamp or Lut)",
       {{"input", "image file"}, {"output", "image file to write"}},
       {{"table", "FILE", "the curves (format below)"},
        {"no-alpha-clamp", "", "do not limit colour to alpha afterwards (Lut)"}},
       std::string("Table file: one point per line, '[CHANNELS] INPUT OUTPUT', whole numbers\n"
                   "0..255; CHANNELS is rgb (default), red, green, blue, alpha or all; '#'\n"
                   "starts a comment. A channel's points are joined by straight lines (rounded\n"
                   "to nearest) and held flat beyond the ends; channels without points are\n"
                   "unchanged. Example, more contrast:\n"
                   "    0 0\n    64 40\n    192 215\n    255 255\n\n") +
           kTableNote + "\n" + kFilesNote,
       nullptr,
       PrepareLut});
  commands.push_back(
      {"levels",
       "input and output levels with gamma (a table for Lut)",
       {{"input", "image file"}, {"output", "image file to write"}},
       {{"black", "LEVEL", "input level that becomes --out-black (0..254, default 0)"},
        {"white", "LEVEL", "input level that becomes --out-white (1..255, default 255)"},
        {"gamma", "GAMMA", "midtone gamma; above 1 brightens (default 1)"},
        {"out-black", "LEVEL", "darkest output level (default 0)"},
        {"out-white", "LEVEL", "brightest output level (default 255)"},
        {"channels", "GROUP", "rgb (default), red, green, blue, alpha or all"},
        {"no-alpha-clamp", "", "do not limit colour to alpha afterwards (Lut)"}},
       std::string("Entry i = out-black + (out-white - out-black) * t^(1/gamma), with\n"
                   "t = (i - black) / (white - black) limited to 0..1, rounded to nearest.\n\n") +
           kTableNote + "\n" + kFilesNote,
       nullptr,
       PrepareLevels});
  commands.push_back(
      {"gradient-map",
       "map each pixel to a two-colour gradient by one channel (ChannelMapEx)",
       {{"input", "image file"}, {"output", "image file to write"}},
       {{"from", "COLOR", "colour for value 0 (default black)"},
        {"to", "COLOR", "colour for value 255 (default white)"},
        {"channel", "SOURCE",
         "what picks the entry: luma (default; Desaturate, then ChannelMap), red, green, blue, "
         "alpha, sum (red + green + blue, ChannelMergeLut) or sum-all (with alpha)"}},
       std::string("Colours are #RRGGBB, #RRGGBBAA or black, white, red, green, blue,\n"
                   "transparent. Entry i mixes them by i/255 in straight colour, rounded,\n"
                   "then premultiplied; the whole pixel, alpha included, becomes the entry.\n"
                   "Channel values are read premultiplied.\n\n") +
           kFilesNote,
       nullptr,
       PrepareGradientMap});
  (void)commands;
}

}  // namespace morvex::cli
