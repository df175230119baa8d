// flip, mirror, rotate, transpose, transverse and crop: pixels moved as
// stored, through the geometry --auto-orient uses.
#include <string>

#include "commands/commands.h"
#include "core/geometry.h"

namespace morvex::cli {

namespace {

constexpr const char* kLosslessNote =
    "The samples are moved as stored (8 or 16 bits, straight alpha), so the move\n"
    "is lossless and undoing it gives the input back exactly. The EXIF\n"
    "orientation tag is kept as it is (--auto-orient works on the upright picture).\n\n";

Step MoveStep(Move move) {
  return [move](Picture& picture, Progress&) { MovePixels(picture, move); };
}

Step PrepareFlip(const Args&) { return MoveStep(Move::kFlip); }
Step PrepareMirror(const Args&) { return MoveStep(Move::kMirror); }
Step PrepareTranspose(const Args&) { return MoveStep(Move::kTranspose); }
Step PrepareTransverse(const Args&) { return MoveStep(Move::kTransverse); }

Step PrepareRotate(const Args& args) {
  if (!args.Has("angle"))
    throw CliError(
        "--angle is needed: 90, 180 or 270 degrees clockwise (see morvex rotate --help)");
  static const Move kMoves[] = {Move::kRotate90,  Move::kRotate180, Move::kRotate270,
                                Move::kRotate270, Move::kRotate180, Move::kRotate90};
  return MoveStep(kMoves[args.Choice("angle", {"90", "180", "270", "-90", "-180", "-270"}, 0)]);
}

// WxH, WxH+X+Y: whole pixels, the corner from the top left.
bool ParseArea(const std::string& text, std::int64_t v[4]) {
  const auto x = text.find('x'), plus = text.find('+');
  if (x == std::string::npos) return false;
  const auto second = plus == std::string::npos ? plus : text.find('+', plus + 1);
  if (plus != std::string::npos && second == std::string::npos) return false;
  auto whole = [](const std::string& part, std::int64_t* value) {
    return !part.empty() && part.find_first_not_of("0123456789") == std::string::npos &&
           ParseInteger(part, value);
  };
  v[2] = v[3] = 0;
  return whole(text.substr(0, x), &v[0]) && whole(text.substr(x + 1, plus - x - 1), &v[1]) &&
         (plus == std::string::npos || (whole(text.substr(plus + 1, second - plus - 1), &v[2]) &&
                                        whole(text.substr(second + 1), &v[3])));
}

Step PrepareCrop(const Args& args) {
  if (!args.Has("area")) throw CliError("--area WxH+X+Y is needed (see morvex crop --help)");
  const std::string text = args.String("area", "");
  std::int64_t v[4];
  if (!ParseArea(text, v))
    throw CliError(args.OptionError(
        "area", "'" + text + "' is not WxH+X+Y (whole pixels, the corner from the top left)"));
  if (v[0] < 1 || v[1] < 1 || v[0] > kMaxDimension || v[1] > kMaxDimension ||
      v[2] > kMaxDimension || v[3] > kMaxDimension)
    throw CliError(args.OptionError("area", "'" + text + "' is out of range (1 to " +
                                                std::to_string(kMaxDimension) + " on a side)"));
  const auto w = std::int32_t(v[0]), h = std::int32_t(v[1]), x = std::int32_t(v[2]),
             y = std::int32_t(v[3]);
  return [=](Picture& picture, Progress&) {
    if (x + w > picture.width() || y + h > picture.height())
      throw CliError("the area " + text + " reaches beyond the picture (" +
                     std::to_string(picture.width()) + "x" + std::to_string(picture.height()) +
                     " pixels)");
    CropPixels(picture, x, y, w, h);
  };
}

Command MoveCommand(const char* name, const char* summary, std::vector<OptionDef> options,
                    const std::string& notes, Step (*prepare)(const Args&)) {
  Command command;
  command.name = name;
  command.summary = summary;
  command.positionals = {{"input", "image file"}, {"output", "image file to write"}};
  command.options = std::move(options);
  command.notes = notes + kLosslessNote + kFilesNote;
  command.prepareStep = prepare;
  // The moved copy, beside the picture.
  command.bytesPerPixel = 4;
  return command;
}

}  // namespace

void AddGeometryCommands(std::vector<Command>& commands) {
  commands.push_back(MoveCommand("flip",
                                 "turn an image upside down (BitmapCopy with a negative stride)",
                                 {}, "", PrepareFlip));
  commands.push_back(
      MoveCommand("mirror", "swap left and right (a mirror image)", {}, "", PrepareMirror));
  commands.push_back(MoveCommand(
      "rotate", "turn an image by quarter turns",
      {{"angle", "DEGREES", "90, 180 or 270, clockwise (-90, -180, -270: anticlockwise)"}}, "",
      PrepareRotate));
  commands.push_back(MoveCommand("transpose",
                                 "mirror along the diagonal from the top left: rows become columns",
                                 {}, "", PrepareTranspose));
  commands.push_back(MoveCommand("transverse", "mirror along the diagonal from the top right", {},
                                 "", PrepareTransverse));
  commands.push_back(
      MoveCommand("crop", "keep a rectangle of the image (BitmapCopy)",
                  {{"area", "WxH+X+Y",
                    "the rectangle: width x height, corner X,Y from the top left (+0+0 "
                    "when left out)"}},
                  "The rectangle must lie inside the picture (so that nothing is invented):\n"
                  "800x600+100+50 on a 640x480 picture is an error naming both sizes.\n",
                  PrepareCrop));
}

}  // namespace morvex::cli
