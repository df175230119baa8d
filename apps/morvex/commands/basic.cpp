// info, flip and copy-channel, and the file helpers of every subcommand.
#include <cstdio>

#include "commands/commands.h"
#include "runner.h"
#include "files/image_io.h"
#include "core/ops.h"
#include "core/parallel.h"

namespace morvex::cli {

const char* const kPixelFormatNote =
    "Files: PNG and JPEG are read (recognised by their contents); results are\n"
    "written as PNG or JPEG by the output name's extension (.png, .jpg, .jpeg).\n"
    "Pixels: PNG files hold straight alpha; the library works on premultiplied\n"
    "BGRA bytes. Every PNG (gray, gray+alpha, RGB, RGBA or palette, 1 to 16 bits)\n"
    "is loaded as premultiplied 8-bit: colour c * a / 255 rounded to nearest\n"
    "(16-bit: c * a * 255 / 65535^2, alpha a * 255 / 65535, both rounded). Every\n"
    "result is saved at 8 bits: colour p * 255 / a rounded to nearest (halves\n"
    "up) and clamped to 255; 0 where alpha is 0; as grey, grey+alpha, RGB or RGBA,\n"
    "whichever holds it exactly. Opaque pixels come back unchanged; a translucent\n"
    "pixel keeps its premultiplied value exactly, and its straight colour to\n"
    "within one level when alpha is 128 or more (less alpha leaves fewer\n"
    "levels). JPEG is opaque: a result with transparency needs --background.\n"
    "Gamma, colour profiles and orientation tags are not applied.\n";

Image InputImage(const Args& args, std::size_t index) { return LoadImage(args.Positional(index)); }

void OutputImage(const Args& args, std::size_t index, const Image& image) {
  const std::string& path = args.Positional(index);
  SaveImage(path, image, ParseSaveOptions(args, {path}, AvailableCores()));
}

int ChannelOption(const Args& args, const std::string& option, int fallback) {
  return static_cast<int>(
      args.Choice(option, {"blue", "green", "red", "alpha"}, static_cast<std::size_t>(fallback)));
}

namespace {

int RunInfo(const Args& args) {
  std::string storedAs;
  const Image image = LoadImage(args.Positional(0), &storedAs);
  std::size_t opaque = 0, transparent = 0;
  std::uint64_t sums[4] = {0, 0, 0, 0};
  for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
    const std::uint8_t a = image.pixels[i + 3];
    opaque += a == 255;
    transparent += a == 0;
    for (int k = 0; k < 4; ++k) sums[k] += image.pixels[i + k];
  }
  const std::size_t count = image.pixels.size() / 4;
  std::printf("file:          %s\n", args.Positional(0).c_str());
  std::printf("size:          %d x %d pixels\n", image.width, image.height);
  std::printf("stored as:     %s\n", storedAs.c_str());
  std::printf("alpha:         %zu opaque, %zu translucent, %zu transparent\n", opaque,
              count - opaque - transparent, transparent);
  std::printf("mean (premultiplied bytes): red %.2f, green %.2f, blue %.2f, alpha %.2f\n",
              double(sums[2]) / count, double(sums[1]) / count, double(sums[0]) / count,
              double(sums[3]) / count);
  return 0;
}

Transform PrepareFlip(const Args&) {
  return [](const Image& image, Progress&) { return FlipVertical(image); };
}

Transform PrepareCopyChannel(const Args& args) {
  if (!args.Has("from") || !args.Has("to"))
    throw CliError("both --from and --to are needed (see morvex copy-channel --help)");
  const int from = ChannelOption(args, "from", 0), to = ChannelOption(args, "to", 0);
  return [=](const Image& image, Progress&) { return CopyChannel(image, from, to); };
}

}  // namespace

void AddBasicCommands(std::vector<Command>& commands) {
  commands.push_back({"info",
                      "describe an image file: size, stored format, alpha coverage",
                      {{"input", "PNG or JPEG file"}},
                      {},
                      kPixelFormatNote,
                      RunInfo});
  commands.push_back({"flip",
                      "turn an image upside down (BitmapCopy with a negative stride)",
                      {{"input", "image file"}, {"output", "image file to write"}},
                      {},
                      kPixelFormatNote,
                      nullptr,
                      PrepareFlip});
  commands.push_back(
      {"copy-channel",
       "copy one channel of every pixel into another (ChannelCopy)",
       {{"input", "image file"}, {"output", "image file to write"}},
       {{"from", "CHANNEL", "channel to read: red, green, blue or alpha"},
        {"to", "CHANNEL", "channel to overwrite: red, green, blue or alpha"}},
       std::string("Channels are copied as the library stores them, premultiplied.\n\n") +
           kPixelFormatNote,
       nullptr,
       PrepareCopyChannel});
}

}  // namespace morvex::cli
