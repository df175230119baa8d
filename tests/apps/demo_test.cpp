// The demo runs without input, writes every file it announces (and nothing
// else), and its contact sheet is a valid PNG that holds every tile.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "cli_harness.h"

namespace morvex::test {
namespace {

TEST(Demo, WritesEveryAnnouncedFile) {
  ScratchDir dir;
  const std::string outDir = dir / "tour";  // created by the demo
  const CliRun run = RunCli({"demo", outDir});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  std::set<std::string> announced;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("wrote ", 0) == 0) announced.insert(line.substr(6));
  ASSERT_GE(announced.size(), 3u);
  std::set<std::string> present;
  for (const auto& entry : std::filesystem::directory_iterator(outDir))
    present.insert(entry.path().string());
  EXPECT_EQ(present, announced);

  const std::string sheet = outDir + "/contact-sheet.png";
  ASSERT_TRUE(announced.count(sheet));
  std::int32_t sheetW = 0, sheetH = 0;
  std::int64_t tileArea = 0;
  for (const auto& path : announced) {
    std::int32_t w, h;
    const auto rgba = ReadRgba8(path, &w, &h);  // throws unless a valid 8-bit RGBA PNG
    EXPECT_EQ(rgba.size(), std::size_t(w) * h * 4) << path;
    if (path == sheet) {
      sheetW = w;
      sheetH = h;
    } else {
      tileArea += std::int64_t(w) * h;
    }
  }
  EXPECT_GT(std::int64_t(sheetW) * sheetH, tileArea);
  // The sheet is opaque: tiles sit on a checkerboard.
  std::int32_t w, h;
  const auto rgba = ReadRgba8(sheet, &w, &h);
  for (std::size_t i = 3; i < rgba.size(); i += 4) ASSERT_EQ(rgba[i], 255);
  EXPECT_NE(run.out.find(sheet), std::string::npos);
}

// Two runs give identical files: the tour depends on nothing outside it.
TEST(Demo, IsReproducible) {
  ScratchDir a, b;
  ASSERT_EQ(RunCli({"demo", a.path().string()}).exitCode, 0);
  ASSERT_EQ(RunCli({"demo", b.path().string()}).exitCode, 0);
  ASSERT_EQ(a.Entries(), b.Entries());
  for (const auto& name : a.Entries()) EXPECT_EQ(ReadRgba8(a / name), ReadRgba8(b / name)) << name;
}

}  // namespace
}  // namespace morvex::test
