// Tables the tool computes for the library's table-driven exports: per-channel
// curves (256 entries of B, G, R, A bytes) and two-colour gradients (256
// premultiplied BGRA pixels).
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace morvex::cli {

using ChannelTable = std::array<std::uint8_t, 1024>;  // entry i, byte k: channel k
using PixelTable = std::array<std::uint8_t, 1024>;    // entry i: one BGRA pixel

// Channel bits for the tables below: blue 1, green 2, red 4, alpha 8.
constexpr unsigned kBlueBit = 1, kGreenBit = 2, kRedBit = 4, kAlphaBit = 8;
constexpr unsigned kColorBits = kBlueBit | kGreenBit | kRedBit;

ChannelTable IdentityTable();

// Curves from text. Each line is "[CHANNELS] INPUT OUTPUT" with whole numbers
// 0..255; CHANNELS is rgb (the default), red, green, blue, alpha or all.
// '#' starts a comment. The points of a channel are joined by straight lines
// (rounded to nearest, halves up) and held flat beyond the first and last
// point; channels without points map every value to itself. Throws CliError
// naming `sourceName` and the line.
ChannelTable ParseCurveTable(const std::string& text, const std::string& sourceName);

struct Levels {
  double inBlack = 0, inWhite = 255, gamma = 1, outBlack = 0, outWhite = 255;
};
// out = outBlack + (outWhite - outBlack) * t^(1/gamma), t = (in - inBlack) /
// (inWhite - inBlack) limited to 0..1, rounded to nearest; for the channels in
// `channels`, identity elsewhere.
ChannelTable LevelsTable(const Levels& levels, unsigned channels);

// Entry i mixes the straight colours `from` and `to` (RGBA) by i/255, each
// channel rounded to nearest (halves up), then premultiplied.
PixelTable GradientTable(const std::uint8_t from[4], const std::uint8_t to[4]);

}  // namespace morvex::cli
