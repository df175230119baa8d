#include "files/metadata.h"

#include <cstddef>

namespace morvex::cli {
namespace {

// The first IFD's orientation entry: the offset of its value in `exif`, or
// 0 when there is none.
std::size_t OrientationValueAt(const std::vector<std::uint8_t>& exif, bool* bigEndian) {
  const std::size_t n = exif.size();
  if (n < 8) return 0;
  const bool big = exif[0] == 'M' && exif[1] == 'M';
  if (!big && !(exif[0] == 'I' && exif[1] == 'I')) return 0;
  *bigEndian = big;
  auto u16 = [&](std::size_t at) {
    return big ? unsigned(exif[at]) << 8 | exif[at + 1] : unsigned(exif[at + 1]) << 8 | exif[at];
  };
  auto u32 = [&](std::size_t at) {
    return big ? std::uint32_t(u16(at)) << 16 | u16(at + 2)
               : std::uint32_t(u16(at + 2)) << 16 | u16(at);
  };
  if (u16(2) != 42) return 0;
  const std::uint32_t ifd = u32(4);
  if (ifd < 8 || ifd > n - 2) return 0;
  const unsigned entries = u16(ifd);
  for (unsigned i = 0; i < entries; ++i) {
    const std::size_t at = ifd + 2 + std::size_t(i) * 12;
    if (at + 12 > n) return 0;
    // Tag 0x0112, type SHORT, one value, stored in the entry itself.
    if (u16(at) == 0x0112) return u16(at + 2) == 3 && u32(at + 4) == 1 ? at + 8 : 0;
  }
  return 0;
}

// The digit of tiff:Orientation in an XMP packet, as an attribute or an
// element: its position, or npos.
std::size_t XmpOrientationAt(const std::string& xmp) {
  for (const char* key : {"tiff:Orientation=\"", "tiff:Orientation='", "<tiff:Orientation>"}) {
    const std::size_t at = xmp.find(key);
    if (at == std::string::npos) continue;
    const std::size_t digit = at + std::char_traits<char>::length(key);
    if (digit < xmp.size() && xmp[digit] >= '1' && xmp[digit] <= '8') return digit;
  }
  return std::string::npos;
}

}  // namespace

int ExifOrientation(const Metadata& metadata) {
  bool big = false;
  const std::size_t at = OrientationValueAt(metadata.exif, &big);
  if (at == 0) return 0;
  const unsigned v = big ? unsigned(metadata.exif[at]) << 8 | metadata.exif[at + 1]
                         : unsigned(metadata.exif[at + 1]) << 8 | metadata.exif[at];
  return v >= 1 && v <= 8 ? int(v) : 0;
}

void SetOrientation(Metadata& metadata, int orientation) {
  bool big = false;
  if (const std::size_t at = OrientationValueAt(metadata.exif, &big)) {
    metadata.exif[at + (big ? 0 : 1)] = 0;
    metadata.exif[at + (big ? 1 : 0)] = std::uint8_t(orientation);
  }
  if (const std::size_t digit = XmpOrientationAt(metadata.xmp); digit != std::string::npos)
    metadata.xmp[digit] = char('0' + orientation);
}

std::string OrientationName(int orientation) {
  static const char* const kNames[] = {
      "upright",
      "upright",
      "mirror left to right",
      "rotate 180 degrees",
      "flip upside down",
      "mirror along the diagonal (transpose)",
      "rotate 90 degrees clockwise",
      "mirror along the other diagonal (transverse)",
      "rotate 90 degrees anticlockwise",
  };
  return orientation >= 1 && orientation <= 8 ? kNames[orientation] : kNames[0];
}

std::string IccColourSpace(const std::vector<std::uint8_t>& profile) {
  if (profile.size() < 20) return "";
  std::string space(profile.begin() + 16, profile.begin() + 20);
  while (!space.empty() && space.back() == ' ') space.pop_back();
  return space;
}

}  // namespace morvex::cli
