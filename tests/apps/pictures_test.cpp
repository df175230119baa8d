// What the tool does with a photographer's files: existing outputs, moves on
// the stored pixels, the orientation, the metadata and the bit depth.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

#include <fstream>

#include "cli_harness.h"
#include "files/image_io.h"
#include "files/metadata.h"
#include "files/png_io.h"

namespace morvex::test {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

unsigned Mode(const std::string& path) {
  struct stat s;
  return ::stat(path.c_str(), &s) == 0 ? s.st_mode & 0777 : 0;
}

// An output that exists is replaced only with -y, keeping its permissions;
// through a symbolic link the file it points to is replaced.
TEST(ExistingFiles, AreReplacedOnlyWhenAsked) {
  const struct {
    const char* name;
    bool overwrite, link, batch;
    int exitCode;
  } cases[] = {
      {"refused", false, false, false, 2},
      {"replaced", true, false, false, 0},
      {"link refused", false, true, false, 2},
      {"link followed", true, true, false, 0},
      {"batch refused", false, false, true, 2},
      {"batch replaced", true, false, true, 0},
  };
  for (const auto& tc : cases) {
    ScratchDir dir;
    Rng rng(5);
    const cli::Image in = WriteRandomPng(rng, dir / "in.png", 5, 4);
    WriteRandomPng(rng, dir / "b.png", 3, 3);
    fs::create_directory(dir.path() / "real");
    const std::string target = dir / (tc.batch ? "real/in.png" : "real/kept.png");
    { std::ofstream(target) << "keep me"; }
    ::chmod(target.c_str(), 0640);
    const std::string out = tc.batch ? target : tc.link ? dir / "link.png" : target;
    if (tc.link) fs::create_symlink("real/kept.png", out);
    std::vector<std::string> args = {"flip", dir / "in.png"};
    if (tc.batch) args.insert(args.end(), {dir / "b.png", "--out-dir", dir / "real"});
    else args.push_back(out);
    if (tc.overwrite) args.push_back("-y");
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.exitCode, tc.exitCode) << tc.name << ": " << run.err;
    if (tc.exitCode != 0) {
      EXPECT_EQ(run.err, "morvex flip: " + out + " exists; give -y to replace it\n") << tc.name;
      EXPECT_EQ(Slurp(target), "keep me") << tc.name;
      EXPECT_FALSE(fs::exists(dir / "real/b.png")) << tc.name << ": a batch started";
      continue;
    }
    EXPECT_EQ(ReadRgba8(target).size(), SavedBytes(in).size()) << tc.name;
    EXPECT_EQ(Mode(target), 0640u) << tc.name;
    if (tc.link) {
      EXPECT_TRUE(fs::is_symlink(out)) << tc.name;
    }
  }
}

// Straight samples of `path` as stored, 8 or 16 bits.
cli::StraightPixels Stored(const std::string& path, int* depth = nullptr) {
  cli::PngInfo info;
  cli::StraightPixels pixels = cli::ReadPng(path, &info);
  if (depth) *depth = info.bitDepth;
  return pixels;
}

// flip moves the samples as stored: once it reverses the rows exactly, twice
// it gives the input back, at the input's depth, in every kind of PNG.
TEST(Moves, AreLosslessInEveryForm) {
  const struct {
    const char* name;
    int colorType, depth;
  } cases[] = {{"rgba8", PNG_COLOR_TYPE_RGBA, 8},
               {"rgba16", PNG_COLOR_TYPE_RGBA, 16},
               {"grayAlpha16", PNG_COLOR_TYPE_GRAY_ALPHA, 16},
               {"rgb16", PNG_COLOR_TYPE_RGB, 16}};
  for (const auto& tc : cases) {
    ScratchDir dir;
    Rng rng(tc.depth * 10 + tc.colorType);
    const std::int32_t w = 29, h = 7;
    const int samples = tc.colorType == PNG_COLOR_TYPE_RGBA ? 4 : tc.colorType == PNG_COLOR_TYPE_RGB ? 3 : 2;
    std::vector<std::uint8_t> raw(std::size_t(w) * h * samples * tc.depth / 8);
    rng.Fill(raw.data(), raw.size());
    WriteRawPng(dir / "in.png", w, h, tc.colorType, tc.depth, raw);
    ASSERT_EQ(RunCli({"flip", dir / "in.png", dir / "once.png"}).exitCode, 0);
    const CliRun twice = RunCli({"flip", dir / "once.png", dir / "twice.png"});
    ASSERT_EQ(twice.exitCode, 0) << twice.err;
    EXPECT_EQ(twice.err, "") << tc.name;
    int depth = 0;
    const cli::StraightPixels original = Stored(dir / "in.png"), once = Stored(dir / "once.png"),
                              back = Stored(dir / "twice.png", &depth);
    EXPECT_EQ(depth, tc.depth) << tc.name;
    EXPECT_EQ(back.rgba, original.rgba) << tc.name;
    const std::size_t row = std::size_t(w) * 4;
    for (std::int32_t y = 0; y < h; ++y)
      ASSERT_TRUE(std::equal(once.rgba.begin() + y * row, once.rgba.begin() + (y + 1) * row,
                             original.rgba.begin() + (h - 1 - y) * row))
          << tc.name << " row " << y;
  }
}

// --auto-orient turns each of the eight EXIF orientations upright (pixels
// made by hand: the stored picture as a camera held that way writes it) and
// sets the tag to 1; without it the pixels and the tag stay as stored.
TEST(AutoOrient, TurnsEveryOrientationUpright) {
  // The upright picture, 3 x 2: a b c / d e f.
  const char upright[] = "abcdef";
  const struct {
    int orientation;
    std::int32_t w, h;
    const char* stored;  // rows of the stored picture
  } cases[] = {{1, 3, 2, "abcdef"}, {2, 3, 2, "cbafed"}, {3, 3, 2, "fedcba"}, {4, 3, 2, "defabc"},
               {5, 2, 3, "adbecf"}, {6, 2, 3, "cfbead"}, {7, 2, 3, "fcebda"}, {8, 2, 3, "daebfc"}};
  auto colour = [](char c) {  // a distinct opaque colour per letter
    const int i = c - 'a';
    return std::vector<std::uint8_t>{std::uint8_t(40 * i), std::uint8_t(255 - 30 * i),
                                     std::uint8_t(i * i * 7)};
  };
  for (const auto& tc : cases) {
    ScratchDir dir;
    std::vector<std::uint8_t> rgb;
    for (const char* c = tc.stored; *c; ++c)
      for (auto v : colour(*c)) rgb.push_back(v);
    cli::Metadata metadata;
    metadata.exif = ExifWithOrientation(tc.orientation, "Testcam");
    WriteRawPng(dir / "in.png", tc.w, tc.h, PNG_COLOR_TYPE_RGB, 8, rgb, {}, {}, false, metadata);
    for (const bool orient : {true, false}) {
      std::vector<std::string> args = {"flip", dir / "in.png", dir / "out.png", "-y"};
      if (orient) args.push_back("--auto-orient");
      const CliRun run = RunCli(args);
      ASSERT_EQ(run.exitCode, 0) << run.err;
      // flip then turns the result upside down: undo that to compare.
      const std::string unflipped = dir / "unflipped.png";
      ASSERT_EQ(RunCli({"flip", dir / "out.png", unflipped, "-y"}).exitCode, 0);
      std::int32_t w, h;
      const auto got = ReadRgba8(unflipped, &w, &h);
      const char* want = orient ? upright : tc.stored;
      ASSERT_EQ(w, orient ? 3 : tc.w) << tc.orientation;
      for (int i = 0; i < 6; ++i)
        for (int k = 0; k < 3; ++k)
          ASSERT_EQ(got[std::size_t(i) * 4 + k], colour(want[i])[k])
              << "orientation " << tc.orientation << (orient ? " oriented" : "") << " pixel " << i;
      const cli::Picture written = cli::LoadPicture(dir / "out.png");
      EXPECT_EQ(cli::ExifOrientation(written.metadata), orient ? 1 : tc.orientation);
    }
  }
}

// A stand-in ICC profile of `bytes` bytes for colour space `space`: a
// header libpng accepts, no tags, then filler. JPEG needs two APP2 markers
// from 65520 bytes on.
std::vector<std::uint8_t> Profile(std::size_t bytes, const char* space) {
  std::vector<std::uint8_t> icc(bytes, 0);
  for (std::size_t i = 132; i < bytes; ++i) icc[i] = std::uint8_t(i * 7 + 3);
  for (int k = 0; k < 4; ++k) icc[k] = std::uint8_t(bytes >> (24 - 8 * k));
  icc[8] = 2;  // version 2
  std::memcpy(&icc[12], "mntr", 4);
  std::memcpy(&icc[16], space, 4);
  std::memcpy(&icc[20], "XYZ ", 4);
  std::memcpy(&icc[36], "acsp", 4);
  // The D50 illuminant, s15Fixed16 (0.9642, 1, 0.8249).
  const std::uint8_t d50[12] = {0, 0, 0xF6, 0xD6, 0, 1, 0, 0, 0, 0, 0xD3, 0x2D};
  std::memcpy(&icc[68], d50, 12);
  return icc;
}

// EXIF, the ICC profile and XMP go from input to output through an
// operation, between the formats, in one marker or several; --strip drops
// them; a profile that cannot describe the result is dropped with a note.
TEST(Metadata, TravelsFromInputToOutput) {
  cli::Metadata camera;
  camera.exif = ExifWithOrientation(6, "Testcam");
  camera.xmp = "<x:xmpmeta xmlns:x='adobe:ns:meta/'><dc:creator>A. Photographer</dc:creator>"
               "</x:xmpmeta>";
  const struct {
    const char* input;  // in.png or in.jpg
    const char* output;
    std::size_t iccBytes;
    const char* space;
    std::vector<std::string> options;
    bool kept, iccKept;
    const char* note;
  } cases[] = {
      {"in.jpg", "out.jpg", 3144, "RGB ", {}, true, true, ""},
      {"in.jpg", "out.png", 100000, "RGB ", {}, true, true, ""},
      {"in.png", "out.jpg", 100000, "RGB ", {}, true, true, ""},
      {"in.png", "out.png", 3144, "RGB ", {}, true, true, ""},
      {"in.jpg", "out.png", 3144, "RGB ", {"--strip"}, false, false, ""},
      // A grey picture made colourful (gradient-map) cannot keep a grey profile.
      {"in.png", "out.png", 3144, "GRAY", {"--to", "#ffcc00"}, true, false,
       "its GRAY colour profile is not kept (it does not fit the result's colours)"},
  };
  for (const auto& tc : cases) {
    ScratchDir dir;
    cli::Metadata metadata = camera;
    metadata.icc = Profile(tc.iccBytes, tc.space);
    const std::int32_t w = 24, h = 16;
    std::vector<std::uint8_t> rgb(std::size_t(w) * h * 3);
    for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = std::uint8_t(i % 3 * 90 + i / 48);
    const std::string in = dir / tc.input, out = dir / tc.output;
    const bool grey = std::string(tc.space) == "GRAY";
    std::vector<std::uint8_t> samples = rgb;
    if (grey) samples.resize(rgb.size() / 3);
    if (std::string(tc.input) == "in.jpg")
      WriteJpeg(in, w, h, rgb, metadata);
    else
      WriteRawPng(in, w, h, grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, 8, samples, {}, {},
                  false, metadata);
    const std::string command = grey ? "gradient-map" : "levels";
    std::vector<std::string> args = {command, in, out};
    if (!grey) args.insert(args.end(), {"--gamma", "1.2"});
    args.insert(args.end(), tc.options.begin(), tc.options.end());
    const CliRun run = RunCli(args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, *tc.note ? "morvex " + command + ": " + in + ": " + tc.note + "\n" : "");
    const cli::Metadata got = cli::LoadPicture(out).metadata;
    const std::string what = std::string(tc.input) + " to " + tc.output;
    EXPECT_EQ(got.exif, tc.kept ? metadata.exif : std::vector<std::uint8_t>()) << what;
    EXPECT_EQ(got.xmp, tc.kept ? metadata.xmp : "") << what;
    EXPECT_EQ(got.icc, tc.iccKept ? metadata.icc : std::vector<std::uint8_t>()) << what;
  }
}

// 16-bit samples stay 16 bits through moves and blur --precision float; every
// operation that works on 8 bits, and JPEG, says so once on standard error.
TEST(Depth, SixteenBitsStayWhereTheyCan) {
  const struct {
    std::vector<std::string> args;
    const char* output;
    int depth;
    const char* note;
  } cases[] = {
      {{"flip"}, "out.png", 16, ""},
      {{"blur", "--sigma", "2", "--precision", "float"}, "out.png", 16, ""},
      {{"blur", "--sigma", "2"}, "out.png", 8,
       "16-bit samples reduced to 8 bits (blur works on 8-bit pixels without --precision float)"},
      {{"levels", "--gamma", "1.1"}, "out.png", 8,
       "16-bit samples reduced to 8 bits (levels works on 8-bit pixels)"},
      {{"flip"}, "out.jpg", 8, "16-bit samples reduced to 8 bits (JPEG holds 8 bits)"},
  };
  // One grey+alpha colour that 8 bits cannot hold: a blur keeps a uniform
  // picture as it is, so the 16-bit outputs must give it back exactly.
  const std::int32_t w = 11, h = 6;
  std::vector<std::uint8_t> raw;
  for (std::int32_t i = 0; i < w * h; ++i)
    raw.insert(raw.end(), {0x30, 0x39, 0xFF, 0xFF});  // grey 12345, opaque
  for (const auto& tc : cases) {
    ScratchDir dir;
    WriteRawPng(dir / "in.png", w, h, PNG_COLOR_TYPE_GRAY_ALPHA, 16, raw);
    std::vector<std::string> args = {tc.args[0], dir / "in.png", dir / tc.output};
    args.insert(args.end(), tc.args.begin() + 1, tc.args.end());
    const CliRun run = RunCli(args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, *tc.note ? "morvex " + tc.args[0] + ": " + (dir / "in.png") + ": " +
                                      tc.note + "\n"
                                : "");
    const cli::Picture got = cli::LoadPicture(dir / tc.output);
    EXPECT_EQ(got.depth(), tc.depth) << tc.args[0];
    if (tc.depth == 16) {
      for (std::size_t i = 0; i < got.deep.rgba.size(); i += 4)
        ASSERT_EQ(got.deep.rgba[i], 12345) << tc.args[0] << " " << tc.args.size();
    }
  }
}

}  // namespace
}  // namespace morvex::test
