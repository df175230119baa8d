// PNG files: any common PNG in, 8-bit RGBA out. Failures throw CliError with
// a one-line message naming the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image.h"

namespace morvex::cli {

struct PngInfo {
  std::int32_t width = 0;
  std::int32_t height = 0;
  int bitDepth = 0;   // as stored: 1, 2, 4, 8 or 16
  int colorType = 0;  // libpng's PNG_COLOR_TYPE_*
  bool interlaced = false;
  bool hasTransparency = false;  // an alpha channel or a tRNS chunk
  std::string ColorTypeName() const;
};

// Reads gray, gray+alpha, RGB, RGBA and palette PNGs of any bit depth into
// straight RGBA samples (16-bit files keep 16 bits; lower depths become 8).
// Colour samples are taken as stored: gamma and colour-profile chunks are not
// applied.
StraightPixels ReadPng(const std::string& path, PngInfo* info = nullptr);

// ReadPng, then premultiply for the library.
Image LoadImage(const std::string& path, PngInfo* info = nullptr);

// Reads a PNG whose samples are weights rather than colour: 8-bit straight
// samples (16-bit ones rounded) in the library's byte order (blue, green,
// red, alpha), not premultiplied. A file without alpha has alpha 255.
Image LoadWeights(const std::string& path);

// Writes 8-bit straight RGBA rows (4 bytes per pixel, packed, top-down).
// The file appears complete or not at all: it is written under a temporary
// name in the same directory and renamed into place.
void WritePng(const std::string& path, std::int32_t width, std::int32_t height,
              const std::vector<std::uint8_t>& rgba);

// Unpremultiply, then WritePng.
void SaveImage(const std::string& path, const Image& image);

// Largest width or height accepted on reading, and largest pixel count, so
// that every plane the tool hands to the library stays well inside 32-bit
// strides and buffer sizes.
constexpr std::int32_t kMaxDimension = 32768;
constexpr std::int64_t kMaxPixels = std::int64_t(1) << 26;

}  // namespace morvex::cli
