// JPEG files through libjpeg-turbo: read in any common colour space, written
// from opaque images (JPEG has no alpha). Failures throw CliError naming the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/file_io.h"
#include "core/image.h"

namespace morvex::cli {

// True when a file starts like a JPEG (a start-of-image marker, then a marker).
bool IsJpegSignature(const std::uint8_t* head, std::size_t size);

// Decodes the file to opaque BGRA (grey and CMYK files converted to RGB). A
// file that ends early or whose image data is corrupt is an error, not a
// partly grey picture. `description`, when given, receives what the file holds
// ("JPEG, 3 components (YCbCr, 4:2:0), progressive").
Image LoadJpeg(const InputFile& input, std::string* description = nullptr);

// The bytes of a baseline JPEG of the opaque `image` at `quality` 1..100:
// one grey component when every pixel is grey, otherwise YCbCr, with the
// colour at full resolution from quality 90 up and halved both ways below.
std::vector<std::uint8_t> EncodeJpeg(const Image& image, int quality);
constexpr int kDefaultJpegQuality = 90;

}  // namespace morvex::cli
