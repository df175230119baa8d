// The tool's image files: the PNG writer (layouts, levels, pieces, threads),
// JPEG in and out, and the messages for files beyond the limits or cut short.
#include <gtest/gtest.h>
// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on
#include <png.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "cli_harness.h"
#include "files/file_io.h"
#include "files/image_io.h"
#include "files/jpeg_io.h"
#include "files/png_io.h"

namespace morvex::test {
namespace {

using cli::FileBytes;
using cli::Image;

// A premultiplied image with smooth gradients and noise; `kind` picks the
// layout its pixels allow: 0 opaque grey, 1 grey with alpha, 2 opaque colour,
// 3 colour with alpha.
Image Picture(std::int32_t w, std::int32_t h, int kind, std::uint64_t seed) {
  Rng rng(seed);
  Image image(w, h);
  for (std::int32_t y = 0; y < h; ++y)
    for (std::int32_t x = 0; x < w; ++x) {
      std::uint8_t* p = image.At(x, y);
      const int noise = rng.Int(-3, 3);
      const int r = std::clamp(x * 255 / std::max(w - 1, 1) + noise, 0, 255);
      const int g = std::clamp(y * 255 / std::max(h - 1, 1) + noise, 0, 255);
      const int b = std::clamp((x + y + 128) % 256 + noise, 0, 255);
      const int a = kind % 2 ? rng.Int(64, 254) : 255;
      const bool grey = kind < 2;
      p[0] = cli::PremultiplyByte(grey ? r : b, a);
      p[1] = cli::PremultiplyByte(grey ? r : g, a);
      p[2] = cli::PremultiplyByte(r, a);
      p[3] = std::uint8_t(a);
    }
  return image;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A 16-bit straight picture: gradients in every sample, translucent.
cli::Picture DeepPicture(std::int32_t w, std::int32_t h) {
  cli::Picture picture;
  picture.deep.width = w;
  picture.deep.height = h;
  picture.deep.maxValue = 65535;
  for (std::int32_t y = 0; y < h; ++y)
    for (std::int32_t x = 0; x < w; ++x)
      for (int k = 0; k < 4; ++k)
        picture.deep.rgba.push_back(std::uint16_t((x * 977 + y * 131 + k * 4099) * (k + 1)));
  return picture;
}

TEST(PngWriter, SmallestExactLayoutAtEveryLevel) {
  // Kinds 0..3 as Picture() makes them, 4 a picture of 12 colours (a
  // palette at 4 bits), 5 a 16-bit one.
  const struct {
    int kind, colorType, bitDepth;
  } layouts[] = {{0, PNG_COLOR_TYPE_GRAY, 8},      {1, PNG_COLOR_TYPE_GRAY_ALPHA, 8},
                 {2, PNG_COLOR_TYPE_RGB, 8},       {3, PNG_COLOR_TYPE_RGB_ALPHA, 8},
                 {4, PNG_COLOR_TYPE_PALETTE, 4},   {5, PNG_COLOR_TYPE_RGB_ALPHA, 16}};
  // 1x1, an odd width, and one large enough for several deflate pieces of
  // about 1 MiB (from two bytes per pixel up), at fewer levels to keep it
  // quick. Up to 256 pixels, every 8-bit picture but opaque grey has few
  // enough colours for a palette.
  const std::pair<std::int32_t, std::int32_t> sizes[] = {{1, 1}, {37, 5}, {601, 900}};
  ScratchDir dir;
  for (const auto& layout : layouts)
    for (const auto& [w, h] : sizes) {
      cli::Picture picture;
      if (layout.kind == 5) {
        picture = DeepPicture(w, h);
      } else {
        Image image = Picture(w, h, layout.kind % 4, std::uint64_t(w) * 10 + layout.kind);
        if (layout.kind == 4)
          for (std::size_t i = 0; i < image.pixels.size(); i += 4)
            for (int k = 0; k < 4; ++k)
              image.pixels[i + k] = std::uint8_t((i / 4 % 12) * 20 * (k == 3 ? 1 : (k + 1)) / 3);
        picture = cli::FromImage(image);
      }
      const bool small = layout.kind < 5 && w * h <= 256 && layout.kind != 0;
      const int colorType = small ? PNG_COLOR_TYPE_PALETTE : layout.colorType;
      FileBytes previous;
      for (int level : {0, 1, 2, 6, 9}) {
        if (w > 100 && level > 2) continue;
        const auto bytes = cli::EncodePng(picture, {level, 1, false});
        // The file does not depend on the number of threads.
        EXPECT_EQ(cli::EncodePng(picture, {level, 3, false}), bytes) << level;
        const std::string path = dir / "out.png";
        cli::WriteFileAtomically(path, bytes);
        cli::PngInfo info;
        const cli::StraightPixels back = cli::ReadPng(path, &info);
        EXPECT_EQ(info.colorType, colorType) << w << "x" << h << " kind " << layout.kind;
        if (!small) {
          EXPECT_EQ(info.bitDepth, layout.bitDepth) << w << "x" << h;
        }
        if (picture.deepForm()) {
          EXPECT_EQ(back.rgba, picture.deep.rgba) << w << "x" << h << " level " << level;
        } else {
          EXPECT_EQ(ReadRgba8(path), SavedBytes(picture.image)) << w << "x" << h << " level "
                                                                << level;
        }
        // Levels 2..9 keep the smaller of their matching and level 1's, piece by piece.
        auto size = [](const FileBytes& f) {
          std::size_t n = 0;
          for (const auto& piece : f) n += piece.size();
          return n;
        };
        if (level == 1) previous = bytes;
        if (level >= 2) {
          EXPECT_LE(size(bytes), size(previous)) << level;
        }
      }
    }
}

TEST(PngWriter, CompressionOptionSetsTheLevel) {
  ScratchDir dir;
  const Image image = Picture(200, 120, 2, 5);
  cli::SaveImage(dir / "in.png", image);
  std::vector<std::size_t> sizes;
  for (const char* level : {"0", "1", "9"}) {
    const CliRun run =
        RunCli({"flip", dir / "in.png", dir / "out.png", "--compression", level, "-y"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    sizes.push_back(Slurp(dir / "out.png").size());
  }
  // Level 0 stores the 3 bytes per pixel plus a filter byte per row, and more.
  EXPECT_GT(sizes[0], std::size_t(200 * 3 + 1) * 120);
  EXPECT_LT(sizes[1], sizes[0]);
  EXPECT_LE(sizes[2], sizes[1]);
}

// The fast premultiplying and unpremultiplying agree with the plain
// definitions for every value and alpha.
TEST(PixelConversions, FastFormsAreExact) {
  const cli::UnpremultiplyTable straight;
  for (std::uint32_t a = 0; a < 256; ++a)
    for (std::uint32_t c = 0; c < 256; ++c) {
      ASSERT_EQ(cli::PremultiplyByte(c, a), cli::PremultiplyChannel(c, a, 255)) << c << " " << a;
      ASSERT_EQ(straight(c, a), cli::UnpremultiplyChannel(c, a)) << c << " " << a;
    }
}

TEST(PixelConversions, FlattenIsSourceOver) {
  Image image(3, 1);
  const std::uint8_t pixels[12] = {10, 20, 30, 255, 0, 0, 0, 0, 60, 40, 100, 128};
  std::copy(pixels, pixels + 12, image.pixels.begin());
  const std::uint8_t white[4] = {255, 255, 255, 255}, translucent[4] = {0, 0, 255, 128};
  const Image onWhite = cli::Flatten(image, white);
  // Opaque stays, transparent becomes the background, colour above alpha is limited.
  const std::vector<std::uint8_t> want = {10, 20, 30, 255, 255, 255, 255, 255, 187, 167, 227, 255};
  EXPECT_EQ(onWhite.pixels, want);
  const Image onHalfBlue = cli::Flatten(image, translucent);
  EXPECT_EQ(onHalfBlue.pixels[4 + 0], 128);  // premultiplied blue of the background
  EXPECT_EQ(onHalfBlue.pixels[4 + 3], 128);
  EXPECT_EQ(onHalfBlue.pixels[8 + 3], 128 + (2 * 128 * 127 + 255) / 510);
}

TEST(Jpeg, WritesAndReadsPhotographs) {
  ScratchDir dir;
  const Image colour = Picture(64, 48, 2, 9), grey = Picture(64, 48, 0, 10);
  cli::SaveImage(dir / "colour.png", colour);
  cli::SaveImage(dir / "grey.png", grey);
  const struct {
    const char* input;
    const char* quality;
    const char* stored;  // the start of what info says
    int tolerance;       // largest channel difference after the round trip
  } cases[] = {
      {"colour.png", "95", "JPEG, 3 components (YCbCr)", 12},
      {"colour.png", "60", "JPEG, 3 components (YCbCr, 4:2:0)", 40},
      {"grey.png", "90", "JPEG, 1 component (grey)", 6},
  };
  std::vector<std::size_t> sizes;
  for (const auto& tc : cases) {
    const std::string out = dir / "out.JPG";
    const CliRun run =
        RunCli({"copy-channel", dir / tc.input, out, "--from", "red", "--to", "red", "--quality",
                tc.quality, "-y"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    sizes.push_back(Slurp(out).size());
    std::string stored;
    const Image back = cli::LoadImage(out, &stored);
    EXPECT_EQ(stored, tc.stored);
    const Image& original = std::string(tc.input) == "grey.png" ? grey : colour;
    ASSERT_EQ(back.width, original.width);
    ASSERT_EQ(back.height, original.height);
    int worst = 0;
    for (std::size_t i = 0; i < back.pixels.size(); ++i)
      worst = std::max(worst, std::abs(int(back.pixels[i]) - int(original.pixels[i])));
    EXPECT_LE(worst, tc.tolerance) << tc.input << " at quality " << tc.quality;
    const CliRun info = RunCli({"info", out});
    EXPECT_NE(info.out.find("stored as:     " + std::string(tc.stored)), std::string::npos)
        << info.out;
  }
  EXPECT_LT(sizes[1], sizes[0]);
}

TEST(Jpeg, TransparencyNeedsABackground) {
  ScratchDir dir;
  const Image image = Picture(20, 10, 3, 4);
  cli::SaveImage(dir / "in.png", image);
  const std::size_t translucent = cli::CountTranslucent(image);
  ASSERT_GT(translucent, 0u);
  const CliRun refused = RunCli({"flip", dir / "in.png", dir / "out.jpg"});
  EXPECT_EQ(refused.exitCode, 2);
  EXPECT_EQ(refused.err, "morvex flip: cannot write " + (dir / "out.jpg") +
                             ": JPEG has no alpha, and " + std::to_string(translucent) +
                             " of the 200 pixels are not opaque (flatten them with --background "
                             "COLOR, or write a PNG)\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "out.jpg"));

  const CliRun flattened =
      RunCli({"flip", dir / "in.png", dir / "out.jpg", "--background", "#336699", "--quality",
              "100"});
  ASSERT_EQ(flattened.exitCode, 0) << flattened.err;
  const std::uint8_t background[4] = {0x33, 0x66, 0x99, 255};
  Image flipped(image.width, image.height);
  for (std::int32_t y = 0; y < image.height; ++y)
    std::copy(image.Row(image.height - 1 - y), image.Row(image.height - 1 - y) + image.stride(),
              flipped.Row(y));
  const Image want = cli::Flatten(flipped, background);
  const Image got = cli::LoadImage(dir / "out.jpg");
  for (std::size_t i = 0; i < got.pixels.size(); ++i)
    ASSERT_LE(std::abs(int(got.pixels[i]) - int(want.pixels[i])), 8) << i;

  // --background works for PNG too: the result is then opaque.
  ASSERT_EQ(RunCli({"flip", dir / "in.png", dir / "flat.png", "--background", "white"}).exitCode,
            0);
  cli::PngInfo info;
  cli::LoadPng(dir / "flat.png", &info);
  EXPECT_FALSE(info.hasTransparency);
}

// A CMYK JPEG as print software writes it (inverted, with an Adobe marker).
TEST(Jpeg, ReadsCmyk) {
  ScratchDir dir;
  const std::int32_t w = 16, h = 8;
  std::vector<std::uint8_t> cmyk(std::size_t(w) * h * 4);
  for (std::size_t i = 0; i < cmyk.size(); i += 4) {
    cmyk[i] = 255;      // no cyan ink: full red
    cmyk[i + 1] = 128;  // half magenta
    cmyk[i + 2] = 0;    // full yellow: no blue
    cmyk[i + 3] = 204;  // some black
  }
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* data = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &data, &size);
  info.image_width = w;
  info.image_height = h;
  info.input_components = 4;
  info.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 100, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = cmyk.data() + info.next_scanline * w * 4;
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  WriteBytes(dir / "cmyk.jpg", std::vector<std::uint8_t>(data, data + size));
  std::free(data);
  std::string stored;
  const Image image = cli::LoadImage(dir / "cmyk.jpg", &stored);
  EXPECT_EQ(stored, "JPEG, 4 components (CMYK)");
  const int want[4] = {0, 102, 204, 255};  // blue, green, red: light * (1 - black)
  for (std::size_t i = 0; i < image.pixels.size(); ++i)
    ASSERT_LE(std::abs(int(image.pixels[i]) - want[i % 4]), 2) << i;
}

// Headers beyond the limits, files cut short, and broken data: one line each.
TEST(ImageFiles, LimitsAndDamage) {
  ScratchDir dir;
  const Image image = Picture(48, 32, 2, 3);
  cli::SaveImage(dir / "ok.png", image);
  cli::SaveImage(dir / "ok.jpg", image);
  const std::string png = Slurp(dir / "ok.png"), jpeg = Slurp(dir / "ok.jpg");
  // PNG: width and height are the IHDR's first 8 bytes (the CRC is not reached).
  auto pngOfSize = [&](std::uint32_t w, std::uint32_t h) {
    std::string bytes = png;
    for (int k = 0; k < 4; ++k) {
      bytes[16 + k] = char(w >> (24 - 8 * k));
      bytes[20 + k] = char(h >> (24 - 8 * k));
    }
    return bytes;
  };
  WriteBytes(dir / "wide.png", pngOfSize(40000, 3000));
  WriteBytes(dir / "huge.png", pngOfSize(20000, 20000));
  WriteBytes(dir / "empty.png", pngOfSize(0, 20));
  WriteBytes(dir / "cut.jpg", jpeg.substr(0, jpeg.size() / 2));
  WriteBytes(dir / "head.png", png.substr(0, 20));
  // JPEG: the frame header's height and width, after its marker, length and precision.
  std::string big = jpeg;
  const std::size_t sof = big.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  big[sof + 5] = char(30000 >> 8), big[sof + 6] = char(30000 & 255);
  big[sof + 7] = char(40000 >> 8), big[sof + 8] = char(40000 & 255);
  WriteBytes(dir / "big.jpg", big);
  const std::string limit = "; the limit is 32768 on a side and 120 megapixels)";
  const struct {
    const char* file;
    std::string message;
  } cases[] = {
      {"wide.png", "image too large (40000x3000 pixels" + limit},
      {"huge.png", "image too large (20000x20000 pixels" + limit},
      {"big.jpg", "image too large (40000x30000 pixels" + limit},
      {"empty.png", "no pixels (0x20 pixels)"},
      {"cut.jpg", "the file is truncated"},
      {"head.png", "the file is truncated"},
  };
  for (const auto& tc : cases) {
    const CliRun run = RunCli({"blur", dir / tc.file, dir / "out.png"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "morvex blur: cannot read " + (dir / tc.file) + ": " + tc.message + "\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "out.png"));
  }
  const CliRun wrongName = RunCli({"blur", dir / "ok.png", dir / "out.tiff"});
  EXPECT_EQ(wrongName.err, "morvex blur: cannot write " + (dir / "out.tiff") +
                               ": unknown image format '.tiff' (use .png, .jpg or .jpeg)\n");
  const CliRun qualityOnPng = RunCli({"blur", dir / "ok.png", dir / "out.png", "--quality", "80"});
  EXPECT_EQ(qualityOnPng.err, "morvex blur: option --quality: applies to JPEG output only\n");
  const CliRun levelOnJpeg =
      RunCli({"blur", dir / "ok.png", dir / "out.jpg", "--compression", "3"});
  EXPECT_EQ(levelOnJpeg.err, "morvex blur: option --compression: applies to PNG output only\n");
  EXPECT_EQ(dir.Entries().size(), 8u) << "no output was left behind";
}

}  // namespace
}  // namespace morvex::test
