// info and copy-channel, and the file helpers of every subcommand.
#include <cstdio>

#include <utility>

#include "commands/commands.h"
#include "runner.h"
#include "files/image_io.h"
#include "core/ops.h"
#include "core/parallel.h"
#include "files/file_io.h"
#include "files/metadata.h"

namespace morvex::cli {

const char* const kPixelFormatNote =
    "Files: PNG and JPEG are read (recognised by their contents); results are\n"
    "written as PNG or JPEG by the output name's extension (.png, .jpg, .jpeg).\n"
    "An output file that exists stops the command before any work, unless -y\n"
    "(--overwrite) is given; a replaced file keeps its permissions, and writing\n"
    "to a symbolic link writes the file it points to.\n"
    "Metadata: EXIF, the ICC colour profile and XMP go from the input to the\n"
    "output (--strip leaves them out). Orientation is not applied unless\n"
    "--auto-orient, which turns the pixels upright first and sets the tag to 1.\n"
    "Depth: pixels that are only moved (flip, --auto-orient) stay as stored, 8\n"
    "or 16 bits, straight alpha; blur --precision float keeps 16 bits too.\n"
    "Every other operation runs on the library's premultiplied 8-bit BGRA: colour\n"
    "c * a / 255 rounded to nearest (16-bit: c * a * 255 / 65535^2), saved back\n"
    "as p * 255 / a rounded (halves up), limited to 255, 0 where alpha is 0; a\n"
    "16-bit input then says on standard error that it became 8-bit. Opaque\n"
    "pixels come back unchanged; translucent ones keep their premultiplied value\n"
    "exactly, and their straight colour to within one level from alpha 128.\n"
    "Results are saved in the smallest exact layout: grey, grey+alpha, palette\n"
    "(up to 256 colours), RGB or RGBA. JPEG is opaque: transparency needs\n"
    "--background. Gamma and colour profiles are not applied to the pixels.\n";

const char* const kChainNote =
    "Chains: a command line that starts with files instead of a command runs one\n"
    "or more steps on each picture in memory, reading it once and writing it once:\n"
    "  morvex in.jpg out.jpg blur --sigma 2 + hsl --saturation-scale 1.2 +\n"
    "    composite logo.png --mode screen --at 20,20\n"
    "A step is any command that turns one image into another, written as its\n"
    "name, its own file arguments (composite's OVERLAY, blend's OTHER) and its\n"
    "options, without INPUT and OUTPUT; a word '+' separates two steps, which run\n"
    "in the order given. The options of the whole run (-y, --quality,\n"
    "--compression, --background, --format, --strip, --auto-orient, --out-dir,\n"
    "-j) may stand before the first step or among any step's options, once each.\n"
    "The result is that of the steps run one by one through PNG files. Errors\n"
    "name the step (\"step 2 (hsl): ...\"). The files end at the first word that\n"
    "names a command: write ./blur for a file called blur.\n"
    "Pipes: '-' as INPUT reads standard input (PNG or JPEG, by its content), '-'\n"
    "as OUTPUT writes standard output in the format --format png|jpg names:\n"
    "  morvex - - blur --sigma 3 --format jpg < a.png > b.jpg\n"
    "Batches: INPUT... --out-dir DIR writes DIR/NAME for every input, on every\n"
    "core (-j N), for a chain or any command (composite BASE... OVERLAY --out-dir\n"
    "DIR lays one overlay on every BASE); --format gives every NAME that format's\n"
    "extension; quoted patterns ('shots/*.jpg') are expanded.\n";

const char* const kFilesNote =
    "Files, metadata, bit depth and existing outputs: see 'morvex --help'.\n";

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
  Picture picture = LoadPicture(args.Positional(0), &storedAs);
  const Metadata metadata = picture.metadata;
  const int depth = picture.depth();
  const Image image = TakeImage(picture, "");
  std::size_t opaque = 0, transparent = 0;
  std::uint64_t sums[4] = {0, 0, 0, 0};
  for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
    const std::uint8_t a = image.pixels[i + 3];
    opaque += a == 255;
    transparent += a == 0;
    for (int k = 0; k < 4; ++k) sums[k] += image.pixels[i + k];
  }
  const std::size_t count = image.pixels.size() / 4;
  std::printf("file:          %s\n", ShownName(args.Positional(0)).c_str());
  std::printf("size:          %d x %d pixels\n", image.width, image.height);
  std::printf("stored as:     %s\n", storedAs.c_str());
  std::printf("bit depth:     %d bits per sample\n", depth);
  const int orientation = ExifOrientation(metadata);
  if (orientation == 0)
    std::printf("orientation:   none given\n");
  else
    std::printf("orientation:   %d (%s to view)\n", orientation,
                OrientationName(orientation).c_str());
  if (metadata.icc.empty())
    std::printf("ICC profile:   none\n");
  else
    std::printf("ICC profile:   %s, %zu bytes\n", IccColourSpace(metadata.icc).c_str(),
                metadata.icc.size());
  std::printf("EXIF:          %s\n",
              metadata.exif.empty() ? "none" : (std::to_string(metadata.exif.size()) + " bytes").c_str());
  std::printf("XMP:           %s\n",
              metadata.xmp.empty() ? "none" : (std::to_string(metadata.xmp.size()) + " bytes").c_str());
  std::printf("alpha:         %zu opaque, %zu translucent, %zu transparent\n", opaque,
              count - opaque - transparent, transparent);
  std::printf("mean (premultiplied bytes): red %.2f, green %.2f, blue %.2f, alpha %.2f\n",
              double(sums[2]) / count, double(sums[1]) / count, double(sums[0]) / count,
              double(sums[3]) / count);
  return 0;
}

Transform PrepareCopyChannel(const Args& args) {
  if (!args.Has("from") || !args.Has("to"))
    throw CliError("both --from and --to are needed (see morvex copy-channel --help)");
  const int from = ChannelOption(args, "from", 0), to = ChannelOption(args, "to", 0);
  return [=](Image image, Progress&) { return CopyChannel(std::move(image), from, to); };
}

}  // namespace

void AddBasicCommands(std::vector<Command>& commands) {
  commands.push_back({"info",
                      "describe an image file: size, stored format, depth, metadata, alpha coverage",
                      {{"input", "PNG or JPEG file"}},
                      {},
                      std::string("Also the bit depth, the EXIF orientation and which metadata "
                                  "the file holds.\n\n") +
                          kFilesNote,
                      RunInfo});
  commands.push_back(
      {"copy-channel",
       "copy one channel of every pixel into another (ChannelCopy)",
       {{"input", "image file"}, {"output", "image file to write"}},
       {{"from", "CHANNEL", "channel to read: red, green, blue or alpha"},
        {"to", "CHANNEL", "channel to overwrite: red, green, blue or alpha"}},
       std::string("Channels are copied as the library stores them, premultiplied.\n\n") +
           kFilesNote,
       nullptr,
       PrepareCopyChannel});
}

}  // namespace morvex::cli
