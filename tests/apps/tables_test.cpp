// The tables the tool computes for the table-driven exports, and the font.
#include "core/tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "core/args.h"
#include "core/font.h"

namespace morvex::test {
namespace {

using cli::ChannelTable;

int Entry(const ChannelTable& t, int input, int channel) { return t[input * 4 + channel]; }

TEST(CurveTable, InterpolatesAndHoldsEnds) {
  const struct {
    const char* text;
    int channel, input, output;
  } cases[] = {
      {"0 0\n255 255\n", 2, 77, 77},
      {"0 255\n255 0\n", 0, 100, 155},
      {"# comment\n  64 0   # black point\n192 255\n", 1, 10, 0},  // before the first point
      {"64 0\n192 255\n", 1, 250, 255},                            // after the last point
      {"64 0\n192 255\n", 1, 128, 128},                            // 127.5 rounds up
      {"192 255\n64 0\n", 1, 65, 2},                               // points in any order: 1.99
      {"0 10\n3 11\n", 2, 1, 10},                                  // 10.33
      {"0 10\n3 11\n", 2, 2, 11},                                  // 10.67
      {"red 0 0\nred 255 100\n", 2, 255, 100},
      {"red 0 0\nred 255 100\n", 1, 255, 255},  // other channels stay identity
      {"alpha 0 50\n", 3, 200, 50},             // a single point is a constant
      {"alpha 0 50\n", 0, 200, 200},
      {"all 0 255\nall 255 0\n", 3, 0, 255},
      {"rgb 0 255\nrgb 255 0\n", 3, 0, 0},
  };
  for (const auto& tc : cases) {
    const ChannelTable t = cli::ParseCurveTable(tc.text, "curve.txt");
    EXPECT_EQ(Entry(t, tc.input, tc.channel), tc.output) << tc.text;
  }
}

TEST(CurveTable, ErrorsNameTheLine) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"0 0\n1 2 3 4\n", "curve.txt:2: expected '[CHANNELS] INPUT OUTPUT'"},
      {"0 0\npink 1 2\n",
       "curve.txt:2: unknown channel 'pink' (use rgb, red, green, blue, alpha or all)"},
      {"0 256\n", "curve.txt:1: '256' is out of range (0 to 255)"},
      {"\n\n0 x\n", "curve.txt:3: 'x' is not a whole number"},
      {"0 1.5\n", "curve.txt:1: '1.5' is not a whole number"},
      {"5 0\nrgb 5 9\n", "curve.txt:2: input 5 is given twice for the same channel"},
      {"# nothing\n\n", "curve.txt: no curve points"},
  };
  for (const auto& tc : cases) {
    try {
      cli::ParseCurveTable(tc.text, "curve.txt");
      ADD_FAILURE() << "accepted: " << tc.text;
    } catch (const cli::CliError& e) {
      EXPECT_STREQ(e.what(), tc.message);
    }
  }
}

TEST(LevelsTable, PointsAndGamma) {
  const ChannelTable identity = cli::LevelsTable({}, cli::kColorBits | cli::kAlphaBit);
  EXPECT_EQ(identity, cli::IdentityTable());
  cli::Levels levels;
  levels.inBlack = 50;
  levels.inWhite = 200;
  const ChannelTable t = cli::LevelsTable(levels, cli::kRedBit);
  EXPECT_EQ(Entry(t, 40, 2), 0);
  EXPECT_EQ(Entry(t, 50, 2), 0);
  EXPECT_EQ(Entry(t, 125, 2), 128);
  EXPECT_EQ(Entry(t, 200, 2), 255);
  EXPECT_EQ(Entry(t, 230, 2), 255);
  EXPECT_EQ(Entry(t, 125, 1), 125);  // green untouched
  levels = {};
  levels.gamma = 2;
  levels.outBlack = 10;
  levels.outWhite = 110;
  const ChannelTable g = cli::LevelsTable(levels, cli::kColorBits);
  EXPECT_EQ(Entry(g, 0, 0), 10);
  EXPECT_EQ(Entry(g, 255, 0), 110);
  EXPECT_EQ(Entry(g, 64, 0), 60);  // 10 + 100 * sqrt(64/255) = 60.1
  EXPECT_EQ(Entry(g, 64, 3), 64);
}

TEST(GradientTable, PremultipliedMix) {
  const std::uint8_t from[4] = {255, 0, 0, 255}, to[4] = {0, 0, 255, 51};
  const cli::PixelTable t = cli::GradientTable(from, to);
  const std::uint8_t first[4] = {0, 0, 255, 255}, last[4] = {51, 0, 0, 51};
  EXPECT_EQ(0, std::memcmp(&t[0], first, 4));
  EXPECT_EQ(0, std::memcmp(&t[255 * 4], last, 4));
  // Entry 128: red 127 (127.0), blue 128, alpha 153 (152.6): premultiplied.
  EXPECT_EQ(t[128 * 4 + 3], 153);
  EXPECT_EQ(t[128 * 4 + 2], 76);  // 127 * 153 / 255 = 76.2
  EXPECT_EQ(t[128 * 4 + 0], 77);  // 128 * 153 / 255 = 76.8
  for (int i = 0; i < 256; ++i)
    for (int k = 0; k < 3; ++k) ASSERT_LE(t[i * 4 + k], t[i * 4 + 3]);
}

TEST(Font, GlyphsAreDistinctAndClipped) {
  const std::string chars = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 -.,:/()=+%_?";
  std::set<std::string> seen;
  for (char c : chars) {
    ASSERT_TRUE(cli::HasGlyph(c)) << c;
    const std::uint8_t* rows = cli::GlyphRows(c);
    EXPECT_TRUE(seen.insert(std::string(rows, rows + cli::kGlyphHeight)).second)
        << "duplicate glyph " << c;
    for (int y = 0; y < cli::kGlyphHeight; ++y) EXPECT_LT(rows[y], 32) << c;
  }
  EXPECT_EQ(cli::GlyphRows('q'), cli::GlyphRows('Q'));
  EXPECT_EQ(cli::GlyphRows('~'), cli::GlyphRows('?'));
  EXPECT_EQ(cli::TextWidth("AB", 2), 22);

  // Drawing half outside the image touches only pixels inside it, and each
  // set font pixel becomes a scale x scale square.
  const std::uint8_t rgb[3] = {10, 20, 30};
  cli::Image image(8, 9);
  cli::DrawText(image, -3, -4, "X", rgb, 3);
  int lit = 0;
  for (std::int32_t y = 0; y < image.height; ++y)
    for (std::int32_t x = 0; x < image.width; ++x) {
      const std::uint8_t* p = image.At(x, y);
      if (p[3] == 0) continue;
      ++lit;
      EXPECT_EQ(p[0], 30);
      EXPECT_EQ(p[2], 10);
      const int gx = (x + 3) / 3, gy = (y + 4) / 3;
      EXPECT_TRUE(cli::GlyphRows('X')[gy] >> (4 - gx) & 1) << x << "," << y;
    }
  EXPECT_GT(lit, 0);
}

}  // namespace
}  // namespace morvex::test
