// Every error a user can act on: a one-line message naming the file or
// option, exit status 2, and no output file (an existing one is untouched).
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <fstream>

#include "cli_harness.h"

namespace morvex::test {
namespace {

struct ErrorCase {
  std::vector<std::string> args;  // "@" is replaced by the scratch directory
  std::string message;            // expected stderr line, "@" likewise
};

std::string Expand(std::string s, const std::string& dir) {
  for (std::size_t at; (at = s.find('@')) != std::string::npos;) s.replace(at, 1, dir);
  return s;
}

void ExpectError(const ErrorCase& tc) {
  ScratchDir dir;
  const std::string d = dir.path().string();
  Rng rng(7);
  WriteRandomPng(rng, dir / "in.png", 6, 4);
  { std::ofstream(dir / "text.png") << "this is not an image\n"; }
  {
    // A PNG cut short in its image data.
    WriteRandomPng(rng, dir / "full.png", 40, 40);
    std::ifstream in(dir / "full.png", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream(dir / "cut.png", std::ios::binary) << bytes.substr(0, bytes.size() / 2);
  }
  std::filesystem::create_directory(dir.path() / "sub");
  { std::ofstream(dir / "existing.png") << "keep me"; }
  const auto before = dir.Entries();

  std::vector<std::string> args;
  for (const auto& a : tc.args) args.push_back(Expand(a, d));
  const CliRun run = RunCli(args);
  const std::string want = Expand(tc.message, d);
  EXPECT_EQ(run.exitCode, 2) << want;
  EXPECT_EQ(run.err, want + "\n");
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(dir.Entries(), before) << "files were created or removed: " << want;
  std::ifstream existing(dir / "existing.png");
  std::string content;
  std::getline(existing, content);
  EXPECT_EQ(content, "keep me");
}

TEST(CliErrors, FilesAndArguments) {
  const ErrorCase cases[] = {
      {{"flip", "@/missing.png", "@/out.png"},
       "morvex flip: cannot read @/missing.png: No such file or directory"},
      {{"flip", "@/missing.png", "@/existing.png", "-y"},
       "morvex flip: cannot read @/missing.png: No such file or directory"},
      {{"flip", "@/text.png", "@/out.png"}, "morvex flip: @/text.png is not a PNG or JPEG file"},
      {{"flip", "@/sub", "@/out.png"}, "morvex flip: cannot read @/sub: is a directory"},
      {{"flip", "@/cut.png", "@/existing.png", "-y"},
       "morvex flip: cannot read @/cut.png: the file is truncated"},
      {{"flip", "@/in.png", "@/nowhere/out.png"},
       "morvex flip: cannot write @/nowhere/out.png: No such file or directory"},
      {{"flip", "@/in.png", "@/sub"}, "morvex flip: cannot write @/sub: is a directory"},
      {{"flip", "@/in.png", "@/existing.png/out.png"},
       "morvex flip: cannot write @/existing.png/out.png: Not a directory"},
      {{"flip", "@/in.png"}, "morvex flip: missing OUTPUT (see morvex flip --help)"},
      {{"flip", "@/in.png", "@/out.png", "@/more.png"},
       "morvex flip: unexpected argument '@/more.png' (to process several files, give --out-dir "
       "DIR)"},
      {{"flip", "@/in.png", "@/out.png", "--bogus"},
       "morvex flip: unknown option '--bogus' (see morvex flip --help)"},
      {{"flip", "@/in.png", "@/out.png", "-x"},
       "morvex flip: unknown option '-x' (options are spelled --name)"},
      {{"copy-channel", "@/in.png", "@/out.png", "--from", "purple", "--to", "red"},
       "morvex copy-channel: option --from: unknown value 'purple' (use blue, green, red or "
       "alpha)"},
      {{"copy-channel", "@/in.png", "@/out.png", "--to", "red", "--from"},
       "morvex copy-channel: option --from needs a value (CHANNEL)"},
      {{"copy-channel", "@/in.png", "@/out.png", "--to=red", "--to=blue", "--from=red"},
       "morvex copy-channel: option --to is given more than once"},
      {{"frobnicate", "@/in.png"}, "morvex: unknown command 'frobnicate' (see morvex --help)"},
      {{"demo", "@/existing.png"},
       "morvex demo: cannot create directory @/existing.png: a file of that name exists"},
      {{"demo", "@/existing.png/inner"},
       "morvex demo: cannot create directory @/existing.png/inner: Not a directory"},
  };
  for (const auto& tc : cases) ExpectError(tc);
}

// Numbers, choices and lists in the options of the image operations.
TEST(CliErrors, OptionValues) {
  std::vector<ErrorCase> cases;
  cases.push_back({{"blur", "@/in.png", "@/out.png", "--sigma", "abc"},
                   "morvex blur: option --sigma: 'abc' is not a number"});
  cases.push_back({{"blur", "@/in.png", "@/out.png", "--sigma", "2", "--sigma-x", "-1"},
                   "morvex blur: option --sigma-x: '-1' is out of range (0 to 54)"});
  cases.push_back({{"blur", "@/in.png", "@/out.png", "--sigma=nan"},
                   "morvex blur: option --sigma: 'nan' is not a number"});
  cases.push_back({{"blur", "@/in.png", "@/out.png", "--precision", "double"},
                   "morvex blur: option --precision: unknown value 'double' (use 8bit or float)"});
  cases.push_back({{"blur", "@/in.png", "@/out.png", "--row-ramp", "1,x"},
                   "morvex blur: option --row-ramp: '1,x' is not two sigmas FROM,TO (0 to 54)"});
  cases.push_back({{"blur-alpha", "@/in.png", "@/out.png", "--channel", "luma"},
                   "morvex blur-alpha: option --channel: unknown value 'luma' (use blue, green, "
                   "red or alpha)"});
  cases.push_back({{"edges", "@/in.png", "@/out.png", "--threshold", "1.5"},
                   "morvex edges: option --threshold: '1.5' is out of range (0 to 1)"});
  cases.push_back({{"edges", "@/in.png", "@/out.png", "--gray=yes"},
                   "morvex edges: option --gray takes no value"});
  cases.push_back({{"blur3x3", "@/in.png", "@/out.png", "--passes", "2.5"},
                   "morvex blur3x3: option --passes: '2.5' is not a whole number"});
  cases.push_back({{"radial-blur", "@/in.png", "@/out.png", "--center", "3"},
                   "morvex radial-blur: option --center: '3' is not a position X,Y in pixels"});
  cases.push_back({{"radial-blur", "@/in.png", "@/out.png", "--scale", "0"},
                   "morvex radial-blur: option --scale: '0' is out of range (0.01 to 100)"});
  cases.push_back({{"hsl", "@/in.png", "@/out.png", "--hue-shift", "0x10"},
                   "morvex hsl: option --hue-shift: '0x10' is not a number"});
  // Exactly the ranges the operations honour.
  cases.push_back({{"blur", "@/in.png", "@/out.png", "--sigma", "0.3"},
                   "morvex blur: option --sigma: '0.3' is out of range (0 for no blur, or 0.5 to 54)"});
  cases.push_back({{"blur-alpha", "@/in.png", "@/out.png", "--sigma-y", "60"},
                   "morvex blur-alpha: option --sigma-y: '60' is out of range (0 to 54)"});
  cases.push_back({{"hsl", "@/in.png", "@/out.png", "--hue-scale", "2"},
                   "morvex hsl: option --hue-scale: '2' is out of range (-1.333 to 1.333; --wrap "
                   "passes any value)"});
  cases.push_back({{"composite", "@/in.png", "@/in.png", "@/out.png", "--at", "99999999,3"},
                   "morvex composite: option --at: '99999999,3' is out of range (-32768 to 32768 "
                   "each)"});
  cases.push_back({{"radial-blur", "@/in.png", "@/out.png", "--center", "99999,2"},
                   "morvex radial-blur: with this centre and scale each pixel would average 9091 "
                   "samples of each channel, beyond the limit of 256 (--slow lifts it)"});
  for (const auto& tc : cases) ExpectError(tc);
}

// A chain's errors name the step they come from (in.png is 6x4 pixels).
TEST(CliErrors, Chains) {
  const std::string in = "@/in.png", out = "@/out.png";
  const ErrorCase cases[] = {
      {{in, out, "blurr", "--sigma", "2"},
       "morvex: step 1: unknown command 'blurr' (see morvex --help)"},
      {{in, out, "blur", "+", "frob"},
       "morvex: step 2: unknown command 'frob' (see morvex --help)"},
      {{in, out, "blur", "+"}, "morvex: step 2: nothing after '+' (give a command)"},
      {{in, out},
       "morvex: no step after the files (for example: morvex IN OUT blur --sigma 2; see "
       "morvex --help)"},
      {{in, out, "blur", "+", "histogram"},
       "morvex: step 2 (histogram): histogram does not turn one image into another, so it cannot "
       "be a step"},
      {{in, out, "--sigma", "2", "blur"},
       "morvex: option --sigma comes before any step: a step's options follow its name (see "
       "morvex --help)"},
      {{in, out, "blur", "+", "copy-channel", "--to", "red"},
       "morvex: step 2 (copy-channel): both --from and --to are needed (see morvex copy-channel "
       "--help)"},
      {{in, out, "rotate", "+", "blur"},
       "morvex: step 1 (rotate): --angle is needed: 90, 180 or 270 degrees clockwise (see morvex "
       "rotate --help)"},
      {{in, out, "hsl", "--saturation-scale"},
       "morvex: step 1 (hsl): option --saturation-scale needs a value (FACTOR)"},
      {{in, out, "flip", "+", "blur", "--sigma", "0.3"},
       "morvex: step 2 (blur): option --sigma: '0.3' is out of range (0 for no blur, or 0.5 to "
       "54)"},
      {{in, out, "composite"},
       "morvex: step 1 (composite): missing OVERLAY (see morvex composite --help)"},
      {{in, out, "composite", "@/missing.png"},
       "morvex: step 1 (composite): cannot read @/missing.png: No such file or directory"},
      {{in, out, "blur", "+", "crop", "--area", "7x1"},
       "morvex: step 2 (crop): the area 7x1 reaches beyond the picture (6x4 pixels)"},
      {{in, out, "rotate", "--angle", "90", "+", "blend", in},
       "morvex: step 2 (blend): @/in.png is 6x4 pixels but the image is 4x6: the sizes must match"},
      {{in, out, "flip", "+", "scale-mask", "--to-rect", "1,1,1,3"},
       "morvex: step 2 (scale-mask): ScaleMask refused the call (the target rectangle, clipped to "
       "both masks, is 1 pixel or less wide or high)"},
      {{in, out, "blur", "-y", "+", "hsl", "-y"},
       "morvex: option --overwrite is given more than once"},
      {{in, "@/existing.png", "blur"}, "morvex: @/existing.png exists; give -y to replace it"},
      {{in, "-", "blur"}, "morvex: writing standard output (-) needs --format png or --format jpg"},
      {{in, out, "blur", "--format", "jpg"},
       "morvex: option --format: 'jpg' does not fit the name @/out.png"},
      {{"-", out, "blur"}, "morvex: standard input is not a PNG or JPEG file"},
  };
  for (const auto& tc : cases) ExpectError(tc);
}

// A call the library refuses becomes an error of the command.
TEST(CliErrors, LibraryRefusals) {
  std::vector<ErrorCase> cases;
  cases.push_back({{"scale-mask", "@/in.png", "@/out.png", "--to-rect", "1,1,1,3"},
                   "morvex scale-mask: ScaleMask refused the call (the target rectangle, clipped "
                   "to both masks, is 1 pixel or less wide or high)"});
  cases.push_back({{"scale-mask", "@/in.png", "@/existing.png", "--to-rect", "10,0,4,4", "-y"},
                   "morvex scale-mask: ScaleMask refused the call (the target rectangle, clipped "
                   "to both masks, is 1 pixel or less wide or high)"});
  for (const auto& tc : cases) ExpectError(tc);
}

// A directory the user may not write to (meaningless for root, who may).
TEST(CliErrors, UnwritableDirectory) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes everywhere";
  ScratchDir dir;
  Rng rng(3);
  WriteRandomPng(rng, dir / "in.png", 3, 3);
  std::filesystem::create_directory(dir.path() / "locked");
  std::filesystem::permissions(dir.path() / "locked", std::filesystem::perms::owner_read |
                                                          std::filesystem::perms::owner_exec);
  const CliRun run = RunCli({"flip", dir / "in.png", dir / "locked/out.png"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.err,
            "morvex flip: cannot write " + (dir / "locked/out.png") + ": Permission denied\n");
  std::filesystem::permissions(dir.path() / "locked", std::filesystem::perms::owner_all);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "locked"));
}

// Every command named in the global help has a help screen of its own.
TEST(CliHelp, EveryCommandExplainsItself) {
  const CliRun global = RunCli({"--help"});
  ASSERT_EQ(global.exitCode, 0);
  const auto start = global.out.find("commands:\n");
  ASSERT_NE(start, std::string::npos);
  std::istringstream lines(global.out.substr(start + 10));
  int count = 0;
  for (std::string line; std::getline(lines, line) && line.rfind("  ", 0) == 0;) {
    const std::string name = line.substr(2, line.find(' ', 2) - 2);
    const CliRun help = RunCli({name, "--help"});
    EXPECT_EQ(help.exitCode, 0) << name;
    EXPECT_EQ(help.out.rfind("usage: morvex " + name, 0), 0u) << help.out;
    // Every command that handles images says where the rules for files are.
    if (name != "paths") {
      EXPECT_NE(help.out.find("see 'morvex --help'"), std::string::npos) << name;
    }
    ++count;
  }
  EXPECT_GE(count, 4);
  EXPECT_NE(global.out.find("premultiplied"), std::string::npos);
  // Without a command: the usage, as an error, on standard error.
  const CliRun none = RunCli({});
  EXPECT_EQ(none.exitCode, 2);
  EXPECT_EQ(none.out, "");
  EXPECT_NE(none.err.find("commands:"), std::string::npos);
}

}  // namespace
}  // namespace morvex::test
