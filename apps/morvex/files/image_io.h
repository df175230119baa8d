// Image files of either format: PNG or JPEG in (recognised by their first
// bytes), PNG or JPEG out (chosen by the file name's extension).
#pragma once

#include <cstdint>
#include <string>

#include "core/image.h"

namespace morvex::cli {

// How results are written; every subcommand that writes an image takes
// these as options (--compression, --quality, --background).
struct SaveOptions {
  int compression = -1;  // PNG, 0..9; -1: the default
  int quality = -1;      // JPEG, 1..100; -1: the default
  bool flatten = false;  // lay the result over `background` first
  std::uint8_t background[4] = {0, 0, 0, 255};
  int threads = 1;  // for PNG's filtering and deflating
};

enum class FileFormat { kPng, kJpeg };

// The format a file name asks for: .png, or .jpg / .jpeg (any case). Throws
// "cannot write PATH: ..." for other names.
FileFormat OutputFormat(const std::string& path);

// Loads a PNG or JPEG as premultiplied BGRA. `description`, when given,
// receives how the file stores its pixels ("8-bit RGBA", "JPEG, ...").
Image LoadImage(const std::string& path, std::string* description = nullptr);

// Reads a file whose samples are weights rather than colour: 8-bit straight
// samples (16-bit ones rounded) in the library's byte order (blue, green,
// red, alpha), not premultiplied. A file without alpha has alpha 255.
Image LoadWeights(const std::string& path);

// Writes `image` in the format its name asks for; the file appears complete or
// not at all. A JPEG needs an opaque result (or options.flatten): otherwise
// the error says how many pixels are not opaque and what to do.
void SaveImage(const std::string& path, const Image& image, const SaveOptions& options = {});

}  // namespace morvex::cli
