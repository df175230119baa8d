// PNG files: any common PNG in, with its EXIF (eXIf), ICC profile (iCCP)
// and XMP (iTXt); out 8 or 16 bits, in the smallest of grey, grey + alpha,
// palette, RGB and RGBA that holds the pixels exactly, with the metadata.
// Failures throw CliError with a one-line message naming the file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/picture.h"
#include "files/file_io.h"

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

// The file's pixels as stored (straight; 16-bit files keep 16 bits, lower
// depths become 8, palettes and tRNS become RGBA) and its metadata. Colour
// samples are taken as stored: gamma and colour-profile chunks are not applied.
Picture ReadPngPicture(const InputFile& input, PngInfo* info = nullptr);

// The pixels alone, as straight RGBA samples of 8 or 16 bits.
StraightPixels ReadPng(const std::string& path, PngInfo* info = nullptr);
// The pixels premultiplied for the library (16-bit files rounded to 8 bits).
Image LoadPng(const std::string& path, PngInfo* info = nullptr);

struct PngWriteOptions {
  // 0 stores the filtered rows uncompressed; 1 deflates them with run-length
  // matching only, the fastest setting and, for photographs, usually also the
  // smallest; 2 to 9 also try zlib's full matching at that level and keep
  // whichever is smaller, piece by piece.
  int compression = 1;
  int threads = 1;            // rows are filtered and deflated in pieces on this many
  bool colourLayout = false;  // never grey (for an RGB colour profile)
};
constexpr int kDefaultPngCompression = 1;

// The bytes of a PNG file holding `picture`, in pieces to be written one
// after another: 16-bit pictures at 16 bits, the others at 8 bits or, when
// they have at most 256 colours, as a palette. The file is the same for any
// number of threads.
FileBytes EncodePng(const Picture& picture, const PngWriteOptions& options);

}  // namespace morvex::cli
