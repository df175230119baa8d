// The tool's image operations: each calls the library's exports on Image
// planes and throws CliError when the library refuses. The subcommands and
// the demo share them, so both give exactly the pixels of the same calls.
#pragma once

#include <cstdint>
#include <string>

#include "image.h"

namespace morvex::cli {

// Throws "EXPORT refused the call (WHY)" when `result` is 0.
void RequireDone(std::uint8_t result, const char* exportName, const std::string& why);

// Channel names as the library numbers them: blue 0, green 1, red 2, alpha 3.
extern const char* const kChannelNames[4];

// Rows in reverse order (BitmapCopy with a negative source stride).
Image FlipVertical(const Image& image);
// Copies channel `from` of every pixel into channel `to` (ChannelCopy).
Image CopyChannel(const Image& image, int from, int to);
// Copies `tile` into `canvas` with its top-left corner at (x, y); the tile
// must lie inside the canvas (BitmapCopy).
void Place(Image& canvas, const Image& tile, std::int32_t x, std::int32_t y);

}  // namespace morvex::cli
