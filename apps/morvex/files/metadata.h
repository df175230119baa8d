// Reading and changing what the tool needs inside the metadata it carries:
// the EXIF orientation (and XMP's copy of it) and an ICC profile's colour
// space. Everything else in the metadata passes through untouched.
#pragma once

#include <string>

#include "core/picture.h"

namespace morvex::cli {

// The EXIF orientation 1..8 (tag 0x0112 of the first IFD), or 0 when the
// EXIF data is absent, has no such tag or cannot be read.
int ExifOrientation(const Metadata& metadata);
// Sets the orientation tag where it exists, in the EXIF data and in the XMP
// packet's tiff:Orientation; nothing is added where there is none.
void SetOrientation(Metadata& metadata, int orientation);
// What a picture tagged `orientation` needs to be upright, in words
// ("rotate 90 degrees clockwise"); "upright" for 1 and unknown values.
std::string OrientationName(int orientation);

// The colour space an ICC profile describes: "RGB", "GRAY", "CMYK", ... from
// its header, "" when the profile is too short to say.
std::string IccColourSpace(const std::vector<std::uint8_t>& profile);

}  // namespace morvex::cli
