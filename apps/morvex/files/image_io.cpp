#include "files/image_io.h"

#include <cctype>
#include <cstdio>
#include <filesystem>

#include "core/args.h"
#include "files/file_io.h"
#include "files/jpeg_io.h"
#include "files/metadata.h"
#include "files/png_io.h"

namespace morvex::cli {

FileFormat OutputFormat(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".png") return FileFormat::kPng;
  if (ext == ".jpg" || ext == ".jpeg") return FileFormat::kJpeg;
  CheckOutputPath(path);
  throw CliError("cannot write " + path + ": " +
                 (ext.empty() ? std::string("no file name extension")
                              : "unknown image format '" + ext + "'") +
                 " (use .png, .jpg or .jpeg)");
}

Picture LoadPicture(const std::string& path, std::string* description) {
  const InputFile input(path);
  if (IsJpegSignature(input.head(), input.headSize())) return ReadJpegPicture(input, description);
  if (input.headSize() < 8 || !IsPngSignature(input.head()))
    throw CliError(input.path() + " is not a PNG or JPEG file");
  PngInfo info;
  Picture picture = ReadPngPicture(input, &info);
  if (description) *description = info.Description();
  return picture;
}

Image LoadImage(const std::string& path, std::string* description) {
  Picture picture = LoadPicture(path, description);
  return TakeImage(picture, "");
}

bool PeekImageSize(const std::string& path, std::uint32_t* width, std::uint32_t* height,
                   int* depth) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  std::uint8_t b[32];
  bool found = false;
  if (std::fread(b, 1, 26, file) == 26) {
    if (IsPngSignature(b)) {
      *width = std::uint32_t(b[16]) << 24 | b[17] << 16 | b[18] << 8 | b[19];
      *height = std::uint32_t(b[20]) << 24 | b[21] << 16 | b[22] << 8 | b[23];
      *depth = b[24] == 16 ? 16 : 8;
      found = true;
    } else if (IsJpegSignature(b, 26)) {
      // Markers from the first after SOI up to the frame header (SOF0..SOF15
      // but for DHT, JPG and DAC), each skipped by its length.
      long at = 2;
      while (!found && std::fseek(file, at, SEEK_SET) == 0 && std::fread(b, 1, 9, file) == 9 &&
             b[0] == 0xFF) {
        const int marker = b[1];
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) {
          *height = std::uint32_t(b[5]) << 8 | b[6];
          *width = std::uint32_t(b[7]) << 8 | b[8];
          *depth = 8;
          found = true;
        }
        at += 2 + (long(b[2]) << 8 | b[3]);
      }
    }
  }
  std::fclose(file);
  return found;
}

Image LoadStraight(const std::string& path) {
  Picture picture = LoadPicture(path);
  return TakeStraight(picture, "");
}

namespace {

// Whether every pixel's straight colour is grey.
bool IsGreyPicture(const Picture& picture) {
  if (picture.deepForm()) {
    const auto& s = picture.deep.rgba;
    for (std::size_t i = 0; i < s.size(); i += 4)
      if (s[i] != s[i + 1] || s[i + 1] != s[i + 2]) return false;
    return true;
  }
  const auto& p = picture.image.pixels;
  for (std::size_t i = 0; i < p.size(); i += 4) {
    if (p[i] == p[i + 1] && p[i + 1] == p[i + 2]) continue;
    if (!picture.premultiplied) return false;
    const std::uint32_t a = p[i + 3];
    const auto b = UnpremultiplyChannel(p[i], a), g = UnpremultiplyChannel(p[i + 1], a),
               r = UnpremultiplyChannel(p[i + 2], a);
    if (b != g || g != r) return false;
  }
  return true;
}

// A colour profile must describe the file's colour model: an RGB profile
// keeps the file in colour even when every pixel is grey (returns true); a
// grey one is dropped from a colour result, and any other kind (CMYK, Lab)
// from every result, with a note.
bool FitProfile(Picture& picture) {
  if (picture.metadata.icc.empty()) return false;
  const std::string space = IccColourSpace(picture.metadata.icc);
  if (space == "RGB") return true;
  if (space == "GRAY" && IsGreyPicture(picture)) return false;
  picture.metadata.icc.clear();
  picture.Note("its " + (space.empty() ? std::string("unreadable") : space) +
               " colour profile is not kept (it does not fit the result's colours)");
  return false;
}

}  // namespace

void SavePicture(const std::string& path, Picture& picture, const SaveOptions& options) {
  CheckOutputPath(path);
  const FileFormat format = options.format ? *options.format : OutputFormat(path);
  FileBytes bytes;
  try {
    if (options.flatten) PutImage(picture, Flatten(TakeImage(picture, "--background"), options.background));
    if (format == FileFormat::kJpeg) {
      Image image = TakeImage(picture, "JPEG holds 8 bits");
      if (const std::size_t n = CountTranslucent(image); n > 0)
        throw CliError("JPEG has no alpha, and " + std::to_string(n) + " of the " +
                       std::to_string(image.pixels.size() / 4) +
                       " pixels are not opaque (flatten them with --background COLOR, or write "
                       "a PNG)");
      PutImage(picture, std::move(image));
      const bool colour = FitProfile(picture);
      bytes = EncodeJpeg(picture.image, options.quality < 0 ? kDefaultJpegQuality : options.quality,
                         picture.metadata, colour, &picture.notes);
    } else {
      PngWriteOptions png;
      png.compression = options.compression < 0 ? kDefaultPngCompression : options.compression;
      png.threads = options.threads;
      png.colourLayout = FitProfile(picture);
      bytes = EncodePng(picture, png);
    }
  } catch (const CliError& error) {
    throw CliError("cannot write " + ShownName(path, true) + ": " + error.what());
  }
  WriteFileAtomically(path, bytes);
}

void SaveImage(const std::string& path, const Image& image, const SaveOptions& options) {
  Picture picture = FromImage(image);
  SavePicture(path, picture, options);
}

}  // namespace morvex::cli
