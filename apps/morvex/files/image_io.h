// Image files of either format: PNG or JPEG in (recognised by their first
// bytes), PNG or JPEG out (chosen by the file name's extension), with their
// metadata both ways.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/picture.h"

namespace morvex::cli {

enum class FileFormat { kPng, kJpeg };

// How results are written; every subcommand that writes an image takes
// these as options (--compression, --quality, --background, --format).
struct SaveOptions {
  int compression = -1;  // PNG, 0..9; -1: the default
  int quality = -1;      // JPEG, 1..100; -1: the default
  bool flatten = false;  // lay the result over `background` first
  std::uint8_t background[4] = {0, 0, 0, 255};
  int threads = 1;  // for PNG's filtering and deflating
  // The format to write; by default the one the file name asks for.
  std::optional<FileFormat> format;
};

// The format a file name asks for: .png, or .jpg / .jpeg (any case). Throws
// "cannot write PATH: ..." for other names.
FileFormat OutputFormat(const std::string& path);

// A PNG or JPEG file's pixels as stored, and its metadata. `description`,
// when given, receives how the file stores its pixels ("8-bit RGBA",
// "JPEG, ...").
Picture LoadPicture(const std::string& path, std::string* description = nullptr);
// The same as premultiplied 8-bit BGRA, for the library.
Image LoadImage(const std::string& path, std::string* description = nullptr);

// The size and depth a file's header declares, read without decoding it;
// false when the header cannot be read (decoding will then say why).
bool PeekImageSize(const std::string& path, std::uint32_t* width, std::uint32_t* height,
                   int* depth);

// A file's samples straight, as stored: 8 bits (16-bit ones rounded) in the
// library's byte order (blue, green, red, alpha), not premultiplied; for
// weights (masks) and for layers. A file without alpha has alpha 255.
Image LoadStraight(const std::string& path);

// Writes the picture in the format its name asks for (or options.format),
// with its metadata; the
// file appears complete or not at all. A JPEG needs an opaque result (or
// options.flatten): otherwise the error says how many pixels are not opaque
// and what to do. What the format cannot hold (16 bits in a JPEG, a colour
// profile that does not fit the pixels) is left out with a note on `picture`.
void SavePicture(const std::string& path, Picture& picture, const SaveOptions& options = {});
void SaveImage(const std::string& path, const Image& image, const SaveOptions& options = {});

}  // namespace morvex::cli
