// What the tool reads, passes from step to step and writes: the pixels in
// the form the last step left them (as the file stored them, or as the
// library works on them) and the file's metadata.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/image.h"

namespace morvex::cli {

// Metadata kept from input to output, each as its bytes (empty when absent).
struct Metadata {
  std::vector<std::uint8_t> exif;  // the TIFF structure ("II*\0" or "MM\0*" onward)
  std::vector<std::uint8_t> icc;   // an ICC profile
  std::string xmp;                 // an XMP packet
  bool empty() const { return exif.empty() && icc.empty() && xmp.empty(); }
};

struct Picture {
  // 8 bits per sample: BGRA, straight as stored or premultiplied for the
  // library (`premultiplied`). Empty while `deep` holds the pixels.
  Image image;
  bool premultiplied = false;
  // 16 bits per sample: straight RGBA as stored (maxValue 65535).
  StraightPixels deep;
  Metadata metadata;
  // Lines for standard error about what happened to the file on its way
  // (samples reduced to 8 bits, a profile dropped), said once per file.
  std::vector<std::string> notes;

  bool deepForm() const { return !deep.rgba.empty(); }
  std::int32_t width() const { return deepForm() ? deep.width : image.width; }
  std::int32_t height() const { return deepForm() ? deep.height : image.height; }
  int depth() const { return deepForm() ? 16 : 8; }
  void Note(const std::string& line);  // adds `line` unless it is there already
};

Picture FromImage(Image image, Metadata metadata = {});

// The premultiplied 8-bit image the library works on. The picture's pixels
// are moved out (converted in place from straight 8-bit samples; 16-bit
// samples are rounded to 8 bits, noted as `why`); the picture keeps its
// metadata and notes, and takes the result back with PutImage.
Image TakeImage(Picture& picture, const std::string& why);
void PutImage(Picture& picture, Image image);
// The same as straight 8-bit BGRA samples (as an 8-bit file stores them).
Image TakeStraight(Picture& picture, const std::string& why);

// The pixels as a PNG file of them reads back: premultiplied colour above
// its alpha, which no file holds, becomes what saving and reading gives (the
// colour saved as 255 where it exceeds alpha); every other form and pixel
// comes back as it is already.
void SettleAsStored(Picture& picture);

// 16-bit straight samples and the library's float pixels (ArgbFloatImage:
// blue, green, red, alpha, premultiplied, on the scale 0..255). Both ways
// are exact: every 16-bit value v becomes v / 257 premultiplied in float,
// and rounding back gives v again.
std::vector<float> DeepToFloat(const StraightPixels& deep);
StraightPixels FloatToDeep(const std::vector<float>& pixels, std::int32_t width,
                           std::int32_t height);

}  // namespace morvex::cli
