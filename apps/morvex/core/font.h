// A tiny built-in bitmap font (5x7 cells) for the labels of the demo's
// contact sheet: upper-case letters, digits and a little punctuation.
#pragma once

#include <cstdint>
#include <string>

#include "core/image.h"

namespace morvex::cli {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kGlyphAdvance = kGlyphWidth + 1;

// The 7 rows of a character's glyph, bit 4 the leftmost column; lower-case
// letters use the upper-case glyphs, characters without a glyph draw '?'.
const std::uint8_t* GlyphRows(char c);
bool HasGlyph(char c);

// Width in pixels of `text` drawn at `scale`.
std::int32_t TextWidth(const std::string& text, std::int32_t scale);

// Draws `text` with its top-left corner at (x, y), each font pixel a
// scale x scale square of the opaque colour `rgb`; pixels outside the image
// are skipped.
void DrawText(Image& image, std::int32_t x, std::int32_t y, const std::string& text,
              const std::uint8_t rgb[3], std::int32_t scale);

}  // namespace morvex::cli
