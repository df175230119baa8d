#include "files/image_io.h"

#include <cctype>
#include <filesystem>

#include "core/args.h"
#include "files/file_io.h"
#include "files/jpeg_io.h"
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

Image LoadImage(const std::string& path, std::string* description) {
  {
    const InputFile input(path);
    if (IsJpegSignature(input.head(), input.headSize())) return LoadJpeg(input, description);
    if (input.headSize() < 8 || !IsPngSignature(input.head()))
      throw CliError(path + " is not a PNG or JPEG file");
  }
  PngInfo info;
  Image image = LoadPng(path, &info);
  if (description) *description = info.Description();
  return image;
}

Image LoadWeights(const std::string& path) {
  {
    const InputFile input(path);
    // A JPEG is opaque: its premultiplied bytes are its straight samples.
    if (IsJpegSignature(input.head(), input.headSize())) return LoadJpeg(input);
  }
  const StraightPixels straight = ReadPng(path);
  Image weights(straight.width, straight.height);
  for (std::size_t i = 0; i < weights.pixels.size(); i += 4) {
    static constexpr int kFrom[4] = {2, 1, 0, 3};  // BGRA from RGBA
    for (int k = 0; k < 4; ++k)
      weights.pixels[i + k] = ScaleToByte(straight.rgba[i + kFrom[k]], straight.maxValue);
  }
  return weights;
}

void SaveImage(const std::string& path, const Image& image, const SaveOptions& options) {
  CheckOutputPath(path);
  const FileFormat format = OutputFormat(path);
  Image flattened;
  const Image* result = &image;
  if (options.flatten) {
    flattened = Flatten(image, options.background);
    result = &flattened;
  }
  std::vector<std::uint8_t> bytes;
  try {
    if (format == FileFormat::kJpeg) {
      if (const std::size_t n = CountTranslucent(*result); n > 0)
        throw CliError("JPEG has no alpha, and " + std::to_string(n) + " of the " +
                       std::to_string(result->pixels.size() / 4) +
                       " pixels are not opaque (flatten them with --background COLOR, or write "
                       "a PNG)");
      bytes = EncodeJpeg(*result, options.quality < 0 ? kDefaultJpegQuality : options.quality);
    } else {
      bytes = EncodePng(*result, options.compression < 0 ? kDefaultPngCompression
                                                         : options.compression,
                        options.threads);
    }
  } catch (const CliError& error) {
    throw CliError("cannot write " + path + ": " + error.what());
  }
  WriteFileAtomically(path, bytes);
}

}  // namespace morvex::cli
