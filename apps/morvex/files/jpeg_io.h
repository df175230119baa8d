// JPEG files through libjpeg-turbo: read in any common colour space, written
// from opaque images (JPEG has no alpha), with their EXIF and XMP (APP1
// markers) and ICC profile (APP2 markers, in as many as it needs). Failures
// throw CliError naming the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/picture.h"
#include "files/file_io.h"

namespace morvex::cli {

// True when a file starts like a JPEG (a start-of-image marker, then a marker).
bool IsJpegSignature(const std::uint8_t* head, std::size_t size);

// Decodes the file to opaque BGRA (grey and CMYK files converted to RGB) and
// its metadata (a CMYK file's profile, which no longer fits its pixels, is
// dropped with a note). A file that ends early or whose image data is corrupt
// is an error, not a partly grey picture. `description`, when given, receives
// what the file holds ("JPEG, 3 components (YCbCr, 4:2:0), progressive").
Picture ReadJpegPicture(const InputFile& input, std::string* description = nullptr);

// The bytes of a baseline JPEG of the opaque premultiplied `image` at
// `quality` 1..100: one grey component when every pixel is grey (unless
// `colourLayout`), otherwise YCbCr, with the colour at full resolution from
// quality 90 up and halved both ways below; with `metadata` in its markers.
// EXIF or XMP larger than a marker holds is left out, with a note.
FileBytes EncodeJpeg(const Image& image, int quality, const Metadata& metadata,
                     bool colourLayout, std::vector<std::string>* notes);
constexpr int kDefaultJpegQuality = 90;

}  // namespace morvex::cli
