// Chains, geometry and pipes: a chain writes exactly what its steps write run
// one by one through PNG files, for every command; the geometry commands move
// the stored samples as hand-drawn pictures say; "-" reads and writes what
// files do.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "cli_harness.h"
#include "files/image_io.h"

namespace morvex::test {
namespace {

// One step of a chain: its words (OTHER, MASK and TABLE name files) and how
// many of them after the name are operands (composite's OVERLAY, blend's OTHER).
struct StepCase {
  std::vector<std::string> words;
  std::size_t operands = 0;
};

// Every command that can be a step, in an order in which each runs on the
// result of the one before: the size stays until the last three change it.
// copy-channel, blur-alpha, composite --raw and lut --no-alpha-clamp leave
// colour above alpha, which a file cannot hold, for the next step.
const StepCase kSteps[] = {
    {{"flip"}},
    {{"mirror"}},
    {{"rotate", "--angle", "90"}},
    {{"transpose"}},
    {{"transverse"}},
    {{"copy-channel", "--from", "red", "--to", "alpha"}},
    {{"blur", "--sigma", "1.5"}},
    {{"blur", "--sigma", "2", "--precision", "float"}},
    {{"blur-alpha", "--sigma", "1", "--scale", "0.8"}},
    {{"composite", "OTHER", "--mode", "screen", "--opacity", "0.7", "--at", "2,-3"}, 1},
    {{"composite", "OTHER", "--mode", "add", "--raw"}, 1},
    {{"blend", "OTHER", "--amount", "0.3"}, 1},
    {{"blend", "OTHER", "--mask", "MASK", "--fade"}, 1},
    {{"multiply", "--factor", "0.6"}},
    {{"multiply", "--mask", "MASK", "--mask-channel", "green"}},
    {{"desaturate"}},
    {{"hsl", "--hue-shift", "40", "--saturation-scale", "1.3"}},
    {{"lut", "--table", "TABLE", "--no-alpha-clamp"}},
    {{"levels", "--black", "10", "--gamma", "1.3"}},
    {{"gradient-map", "--from", "#102030", "--to", "white"}},
    {{"blur3x3", "--passes", "2"}},
    {{"edges", "--threshold", "0.2"}},
    {{"radial-blur", "--scale", "1.2"}},
    {{"shear", "--factor", "0.5"}},
    {{"crop", "--area", "8x7+1+2"}},
    {{"scale-mask", "--size", "9x9"}},
};

// The files the steps name, beside a square input of random translucent pixels.
struct ChainFiles {
  static constexpr std::int32_t kSide = 12;
  ScratchDir dir;
  ChainFiles() {
    Rng rng(25);
    WriteRandomPng(rng, dir / "in.png", kSide, kSide);
    WriteRandomPng(rng, dir / "other.png", kSide, kSide);
    WriteRandomPng(rng, dir / "mask.png", kSide, kSide);
    std::ofstream(dir / "table.txt") << "0 0\n128 200\n255 255\nalpha 255 200\n";
  }
  std::string Expand(const std::string& word) const {
    return word == "OTHER"   ? dir / "other.png"
           : word == "MASK"  ? dir / "mask.png"
           : word == "TABLE" ? dir / "table.txt"
                             : word;
  }
  // Runs the steps as one chain on `input` and one by one through PNG files;
  // both must write the same file.
  void ExpectChainEqualsSteps(const std::string& input,
                              const std::vector<const StepCase*>& steps) const {
    std::vector<std::string> chain = {input, dir / "chain.png"};
    std::string previous = input, names;
    for (std::size_t i = 0; i < steps.size(); ++i) {
      const auto& words = steps[i]->words;
      names += " " + words[0];
      if (i > 0) chain.push_back("+");
      for (const auto& word : words) chain.push_back(Expand(word));
      const std::string next = dir / ("step" + std::to_string(i) + ".png");
      std::vector<std::string> single = {words[0], previous};
      for (std::size_t k = 1; k <= steps[i]->operands; ++k) single.push_back(Expand(words[k]));
      single.push_back(next);
      for (std::size_t k = 1 + steps[i]->operands; k < words.size(); ++k)
        single.push_back(Expand(words[k]));
      single.push_back("-y");
      const CliRun run = RunCli(single);
      ASSERT_EQ(run.exitCode, 0) << words[0] << ": " << run.err;
      previous = next;
    }
    chain.push_back("-y");
    const CliRun run = RunCli(chain);
    ASSERT_EQ(run.exitCode, 0) << names << ": " << run.err;
    EXPECT_EQ(ReadFileBytes(dir / "chain.png"), ReadFileBytes(previous)) << "chain:" << names;
  }
};

TEST(Chain, EveryCommandThatMapsAnImageIsAStep) {
  std::set<std::string> tested;
  for (const auto& step : kSteps) tested.insert(step.words[0]);
  const CliRun global = RunCli({"--help"});
  std::istringstream lines(global.out.substr(global.out.find("commands:\n") + 10));
  for (std::string line; std::getline(lines, line) && line.rfind("  ", 0) == 0;) {
    const std::string name = line.substr(2, line.find(' ', 2) - 2);
    const bool step =
        RunCli({name, "--help"}).out.find("morvex INPUT OUTPUT " + name + " ") != std::string::npos;
    EXPECT_EQ(tested.count(name) == 1, step) << name;
  }
}

TEST(Chain, EqualsItsStepsRunOneByOneThroughPngFiles) {
  const ChainFiles files;
  const std::size_t n = std::size(kSteps);
  // Each step after the one before it, and all of them in one chain.
  for (std::size_t i = 0; i < n; ++i)
    files.ExpectChainEqualsSteps(files.dir / "in.png", {&kSteps[i], &kSteps[(i + 1) % n]});
  std::vector<const StepCase*> all;
  for (const auto& step : kSteps) all.push_back(&step);
  files.ExpectChainEqualsSteps(files.dir / "in.png", all);
  // 16 bits stay 16 bits through moves and the float blur.
  Rng rng(16);
  std::vector<std::uint8_t> samples(std::size_t(ChainFiles::kSide) * ChainFiles::kSide * 8);
  rng.Fill(samples.data(), samples.size());
  WriteRawPng(files.dir / "deep.png", ChainFiles::kSide, ChainFiles::kSide, PNG_COLOR_TYPE_RGBA, 16,
              samples);
  files.ExpectChainEqualsSteps(files.dir / "deep.png",
                               {&kSteps[2], &kSteps[7], &kSteps[24], &kSteps[4], &kSteps[1]});
  EXPECT_EQ(cli::LoadPicture(files.dir / "chain.png").depth(), 16);
}

// The picture a b c / d e f (3 x 2), each letter its own translucent
// samples, moved and cropped; the expected pictures are drawn by hand.
TEST(Geometry, MovesAndCropsTheStoredSamples) {
  const struct {
    std::vector<std::string> options;
    std::int32_t w, h;
    const char* want;  // rows of the result
  } cases[] = {
      {{"flip"}, 3, 2, "defabc"},
      {{"mirror"}, 3, 2, "cbafed"},
      {{"rotate", "--angle", "90"}, 2, 3, "daebfc"},
      {{"rotate", "--angle", "180"}, 3, 2, "fedcba"},
      {{"rotate", "--angle", "270"}, 2, 3, "cfbead"},
      {{"rotate", "--angle", "-90"}, 2, 3, "cfbead"},
      {{"transpose"}, 2, 3, "adbecf"},
      {{"transverse"}, 2, 3, "fcebda"},
      {{"crop", "--area", "2x1+1+1"}, 2, 1, "ef"},
      {{"crop", "--area", "1x2+2+0"}, 1, 2, "cf"},
      {{"crop", "--area", "3x2"}, 3, 2, "abcdef"},
  };
  // Sample k (red, green, blue, alpha) of a letter, on the 16-bit scale.
  auto sample = [](char letter, int k) {
    const int i = letter - 'a';
    return std::uint16_t(k == 3 ? 0x4000 + 0x1357 * i : 0x0101 * (40 * i + 17 * k) + 3 * i + k);
  };
  for (const int depth : {8, 16}) {
    ScratchDir dir;
    std::vector<std::uint8_t> raw;
    for (const char* c = "abcdef"; *c; ++c)
      for (int k = 0; k < 4; ++k) {
        const std::uint16_t v = sample(*c, k);
        if (depth == 16) raw.push_back(std::uint8_t(v >> 8));
        raw.push_back(std::uint8_t(depth == 16 ? v : v >> 8));
      }
    WriteRawPng(dir / "in.png", 3, 2, PNG_COLOR_TYPE_RGBA, depth, raw);
    for (const auto& tc : cases) {
      std::vector<std::string> args = {tc.options[0], dir / "in.png", dir / "out.png", "-y"};
      args.insert(args.end(), tc.options.begin() + 1, tc.options.end());
      const CliRun run = RunCli(args);
      ASSERT_EQ(run.exitCode, 0) << run.err;
      const cli::Picture out = cli::LoadPicture(dir / "out.png");
      ASSERT_EQ(out.depth(), depth);
      ASSERT_EQ(out.width(), tc.w) << tc.options[0];
      ASSERT_EQ(out.height(), tc.h) << tc.options[0];
      for (std::int32_t i = 0; i < tc.w * tc.h; ++i)
        for (int k = 0; k < 4; ++k) {
          const std::uint16_t want = sample(tc.want[i], k);
          // 8-bit pictures read back as straight BGRA bytes.
          const std::uint32_t got =
              depth == 16 ? out.deep.rgba[std::size_t(i) * 4 + k]
                          : out.image.pixels[std::size_t(i) * 4 + (k == 3 ? 3 : 2 - k)];
          ASSERT_EQ(got, depth == 16 ? want : want >> 8)
              << depth << "-bit " << tc.options.back() << " pixel " << i << " sample " << k;
        }
    }
  }
}

// "-" in and out gives the bytes the same run on files gives; standard
// input is recognised by its content.
TEST(Pipes, ReadAndWriteWhatFilesDo) {
  ScratchDir dir;
  Rng rng(5);
  std::vector<std::uint8_t> rgb(20 * 14 * 3);
  rng.Fill(rgb.data(), rgb.size());
  WriteRawPng(dir / "in.png", 20, 14, PNG_COLOR_TYPE_RGB, 8, rgb);
  WriteJpeg(dir / "in.jpg", 20, 14, rgb);
  WriteRandomPng(rng, dir / "logo.png", 9, 6);
  const struct {
    std::vector<std::string> piped;  // writing OUT.png, or standard output
    std::string input;               // standard input
    std::vector<std::string> files;  // the same on files, writing REF.png or REF.jpg
    bool toStdout;
  } cases[] = {
      {{"-", "-", "blur", "--sigma", "3", "--format", "jpg"},
       "in.png",
       {"blur", "in.png", "REF.jpg", "--sigma", "3"},
       true},
      {{"hsl", "-", "-", "--saturation-scale", "1.2", "--format", "png"},
       "in.jpg",
       {"hsl", "in.jpg", "REF.png", "--saturation-scale", "1.2"},
       true},
      {{"-", "OUT.png", "rotate", "--angle", "90", "+", "composite", "logo.png", "--at", "3,2"},
       "in.jpg",
       {"in.jpg", "REF.png", "rotate", "--angle", "90", "+", "composite", "logo.png", "--at",
        "3,2"},
       false},
      {{"composite", "in.png", "-", "OUT.png", "--mode", "multiply"},
       "logo.png",
       {"composite", "in.png", "logo.png", "REF.png", "--mode", "multiply"},
       false},
      {{"noise", "-", "--size", "5x4", "--format", "png"},
       "in.png",
       {"noise", "REF.png", "--size", "5x4"},
       true},
  };
  const std::set<std::string> names = {"in.png",  "in.jpg",  "logo.png",
                                       "OUT.png", "REF.png", "REF.jpg"};
  auto expand = [&](const std::vector<std::string>& words) {
    std::vector<std::string> out;
    for (const auto& word : words) out.push_back(names.count(word) ? dir / word : word);
    return out;
  };
  for (const auto& tc : cases) {
    for (const char* name : {"OUT.png", "REF.png", "REF.jpg"}) std::filesystem::remove(dir / name);
    const CliRun piped = RunCli(expand(tc.piped), dir / tc.input);
    ASSERT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(piped.err, "");
    const CliRun files = RunCli(expand(tc.files));
    ASSERT_EQ(files.exitCode, 0) << files.err;
    const std::string ref = dir / (tc.files[0] == "blur" ? "REF.jpg" : "REF.png");
    EXPECT_EQ(tc.toStdout ? piped.out : ReadFileBytes(dir / "OUT.png"), ReadFileBytes(ref))
        << tc.piped[0] << " " << tc.piped[1];
  }
  const CliRun info = RunCli({"info", "-"}, dir / "in.jpg");
  EXPECT_EQ(info.out.rfind("file:          standard input\n", 0), 0u) << info.out;
  // A terminal neither gives nor takes image bytes.
  const CliRun output = RunCliOnTerminal({dir / "in.png", "-", "flip", "--format", "png"});
  EXPECT_EQ(output.exitCode, 2);
  EXPECT_NE(output.out.find("morvex: standard output is a terminal: send it to a file or a pipe"),
            std::string::npos)
      << output.out;
  const CliRun input = RunCliOnTerminal({"-", dir / "out.png", "flip"});
  EXPECT_EQ(input.exitCode, 2);
  EXPECT_NE(input.out.find("morvex: standard input is a terminal: send an image into it from a "
                           "file or a pipe"),
            std::string::npos)
      << input.out;
}

// An output that is a named pipe is written into, without -y, and stays a
// pipe; its reader gets the file a run on a file writes.
TEST(Pipes, ANamedPipeIsNoExistingFile) {
  ScratchDir dir;
  Rng rng(9);
  WriteRandomPng(rng, dir / "in.png", 7, 5);
  const std::string fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] { received = ReadFileBytes(fifo); });
  const CliRun run = RunCli({dir / "in.png", fifo, "flip", "--format", "png"});
  reader.join();
  ASSERT_EQ(run.exitCode, 0) << run.err;
  ASSERT_EQ(RunCli({"flip", dir / "in.png", dir / "ref.png"}).exitCode, 0);
  EXPECT_EQ(received, ReadFileBytes(dir / "ref.png"));
  struct stat status;
  ASSERT_EQ(::stat(fifo.c_str(), &status), 0);
  EXPECT_TRUE(S_ISFIFO(status.st_mode));
}

}  // namespace
}  // namespace morvex::test
