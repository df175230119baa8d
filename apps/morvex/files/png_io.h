// PNG files: any common PNG in; out 8-bit, in the smallest of grey, grey +
// alpha, RGB and RGBA that holds the pixels exactly. Failures throw CliError
// with a one-line message naming the file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/image.h"

namespace morvex::cli {

struct PngInfo {
  std::int32_t width = 0;
  std::int32_t height = 0;
  int bitDepth = 0;   // as stored: 1, 2, 4, 8 or 16
  int colorType = 0;  // libpng's PNG_COLOR_TYPE_*
  bool interlaced = false;
  bool hasTransparency = false;  // an alpha channel or a tRNS chunk
  std::string ColorTypeName() const;
  // "8-bit RGB", "16-bit gray+alpha with tRNS, interlaced", ...
  std::string Description() const;
};

// True when the first 8 bytes of a file are the PNG signature.
bool IsPngSignature(const std::uint8_t bytes[8]);

// Reads gray, gray+alpha, RGB, RGBA and palette PNGs of any bit depth into
// straight RGBA samples (16-bit files keep 16 bits; lower depths become 8).
// Colour samples are taken as stored: gamma and colour-profile chunks are not
// applied.
StraightPixels ReadPng(const std::string& path, PngInfo* info = nullptr);

// The same pixels premultiplied for the library. 8-bit files are decoded
// straight into the image; 16-bit ones go through ReadPng for full precision.
Image LoadPng(const std::string& path, PngInfo* info = nullptr);

// The bytes of a PNG file holding `image` (unpremultiplied). `compression`
// 0 stores the filtered rows uncompressed; 1 deflates them with run-length
// matching only, the fastest setting and, for photographs, usually also the
// smallest; 2 to 9 also try zlib's full matching at that level and keep
// whichever is smaller, piece by piece. Rows are filtered and deflated in
// pieces on up to `threads` threads; the file is the same for any count.
std::vector<std::uint8_t> EncodePng(const Image& image, int compression, int threads);
constexpr int kDefaultPngCompression = 1;

}  // namespace morvex::cli
