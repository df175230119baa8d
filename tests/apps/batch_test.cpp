// Batches (--out-dir, -j): every file as a single run would write it, failures
// reported by name without stopping the others, and progress on a terminal only.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "cli_harness.h"

namespace morvex::test {
namespace {

// Five inputs: three good (one a JPEG), one truncated, one not an image.
struct BatchFiles {
  ScratchDir dir;
  std::vector<std::string> inputs;
  BatchFiles() {
    Rng rng(11);
    std::filesystem::create_directory(dir.path() / "in");
    WriteRandomPng(rng, dir / "in/a.png", 9, 7);
    WriteRandomPng(rng, dir / "in/b.png", 16, 3);
    const CliRun jpeg =
        RunCli({"flip", dir / "in/b.png", dir / "in/c.jpg", "--background", "white"});
    EXPECT_EQ(jpeg.exitCode, 0) << jpeg.err;
    const std::string whole = ReadFileBytes(dir / "in/a.png");
    std::ofstream(dir / "in/cut.png", std::ios::binary) << whole.substr(0, whole.size() - 30);
    std::ofstream(dir / "in/notes.png") << "not an image\n";
    for (const char* name : {"a.png", "cut.png", "b.png", "notes.png", "c.jpg"})
      inputs.push_back(dir / ("in/" + std::string(name)));
  }
  std::vector<std::string> Args(const std::vector<std::string>& command,
                                const std::vector<std::string>& options) const {
    std::vector<std::string> args = command;
    args.insert(args.end(), inputs.begin(), inputs.end());
    args.insert(args.end(), options.begin(), options.end());
    return args;
  }
};

TEST(Batch, FailuresAreReportedAndTheRestWritten) {
  BatchFiles files;
  const std::string out = files.dir / "soft";
  for (const char* jobs : {"1", "3"}) {
    std::filesystem::remove_all(out);
    const CliRun run =
        RunCli(files.Args({"blur"}, {"--sigma", "1.5", "--out-dir", out, "-j", jobs}));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    // One line per failure, in whatever order the workers finish, then the summary.
    std::vector<std::string> lines;
    std::istringstream stream(run.err);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u) << run.err;
    std::sort(lines.begin(), lines.begin() + 2);
    EXPECT_EQ(lines[0], "morvex blur: " + files.inputs[3] + " is not a PNG or JPEG file");
    EXPECT_EQ(lines[1], "morvex blur: cannot read " + files.inputs[1] + ": the file is truncated");
    EXPECT_EQ(lines[2].rfind("morvex blur: 3 of 5 files written to " + out + " in ", 0), 0u)
        << lines[2];
    // The failures by name, in the order given.
    EXPECT_NE(lines[2].find(" s; 2 failed: " + files.inputs[1] + " " + files.inputs[3]),
              std::string::npos)
        << lines[2];
    EXPECT_EQ(run.err.find('\r'), std::string::npos) << "progress drawn on a non-terminal";
    std::vector<std::string> written;
    for (const auto& entry : std::filesystem::directory_iterator(out))
      written.push_back(entry.path().filename());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"a.png", "b.png", "c.jpg"}));
    // Each file is exactly what a run on that file alone writes.
    for (const char* name : {"a.png", "b.png", "c.jpg"}) {
      const std::string single = files.dir / ("single-" + std::string(name));
      ASSERT_EQ(RunCli({"blur", files.dir / ("in/" + std::string(name)), single, "--sigma", "1.5", "-y"})
                    .exitCode,
                0);
      EXPECT_EQ(ReadFileBytes(out + "/" + name), ReadFileBytes(single))
          << name << " with -j " << jobs;
    }
  }
}

TEST(Batch, AllGoodExitsZero) {
  BatchFiles files;
  const std::string out = files.dir / "out";
  const CliRun run = RunCli({"levels", files.inputs[0], files.inputs[2], files.inputs[4],
                             "--gamma", "1.4", "--out-dir=" + out, "-j2"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err.rfind("morvex levels: 3 of 3 files written to " + out + " in ", 0), 0u)
      << run.err;
  EXPECT_EQ(run.err.find("failed"), std::string::npos);
}

// Every form of a batch writes each file as the single run on it does: one
// overlay on many bases, a chain, a quoted pattern, a change of format.
TEST(Batch, EveryFormWritesWhatSingleRunsWrite) {
  ScratchDir dir;
  Rng rng(27);
  std::filesystem::create_directory(dir.path() / "in");
  WriteRandomPng(rng, dir / "in/a.png", 9, 7);
  WriteRandomPng(rng, dir / "in/b.png", 16, 3);
  WriteRandomPng(rng, dir / "logo.png", 5, 4);
  ASSERT_EQ(RunCli({"flip", dir / "in/b.png", dir / "in/c.jpg", "--background", "white"}).exitCode,
            0);
  const std::string a = dir / "in/a.png", b = dir / "in/b.png", c = dir / "in/c.jpg",
                    logo = dir / "logo.png", out = dir / "out";
  const struct {
    std::vector<std::string> batch;
    std::vector<std::pair<std::string, std::string>> written;  // input, output name
    std::vector<std::string> single;                           // IN, OUT
  } cases[] = {
      {{"composite", a, b, c, logo, "--out-dir", out, "--mode", "screen", "--at", "2,1"},
       {{a, "a.png"}, {b, "b.png"}, {c, "c.jpg"}},
       {"composite", "IN", logo, "OUT", "--mode", "screen", "--at", "2,1"}},
      {{a, b, c, "--out-dir", out, "composite", logo, "--mode", "screen", "--at", "2,1"},
       {{a, "a.png"}, {b, "b.png"}, {c, "c.jpg"}},
       {"composite", "IN", logo, "OUT", "--mode", "screen", "--at", "2,1"}},
      {{"blur", dir / "in/*.png", "--out-dir", out, "--format", "jpg", "--background", "white"},
       {{a, "a.jpg"}, {b, "b.jpg"}},
       {"blur", "IN", "OUT", "--background", "white"}},
      {{dir / "in/*", "--out-dir", out, "-j", "2", "rotate", "--angle", "90", "+", "hsl",
        "--saturation-scale", "1.2", "--format", "png"},
       {{a, "a.png"}, {b, "b.png"}, {c, "c.png"}},
       {"IN", "OUT", "rotate", "--angle", "90", "+", "hsl", "--saturation-scale", "1.2"}},
  };
  for (const auto& tc : cases) {
    std::filesystem::remove_all(out);
    const CliRun run = RunCli(tc.batch);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> names;
    for (const auto& [input, name] : tc.written) {
      names.push_back(name);
      std::vector<std::string> single;
      for (const auto& word : tc.single)
        single.push_back(word == "IN" ? input : word == "OUT" ? dir / ("single-" + name) : word);
      single.push_back("-y");
      ASSERT_EQ(RunCli(single).exitCode, 0) << name;
      EXPECT_EQ(ReadFileBytes(out + "/" + name), ReadFileBytes(dir / ("single-" + name)))
          << tc.batch[0] << ": " << name;
    }
    std::vector<std::string> listed;
    for (const auto& entry : std::filesystem::directory_iterator(out))
      listed.push_back(entry.path().filename());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, names) << tc.batch[0];
  }
}

// Whatever would overwrite an input, or one output with another, stops the
// batch before any file is written.
TEST(Batch, RefusesToOverwrite) {
  BatchFiles files;
  std::filesystem::create_directory(files.dir.path() / "other");
  std::filesystem::copy_file(files.inputs[0], files.dir / "other/a.png");
  const std::string in = files.dir / "in";
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"flip", files.inputs[0], files.dir / "other/a.png", "--out-dir", files.dir / "out"},
       files.inputs[0] + " and " + (files.dir / "other/a.png") + " would both be written to " +
           (files.dir / "out/a.png")},
      {{"flip", files.inputs[0], "--out-dir", in},
       in + "/a.png would overwrite its input; choose another --out-dir"},
      {{"flip", "--out-dir", files.dir / "out"}, "missing INPUT (see morvex flip --help)"},
      {{"flip", files.inputs[0], "--out-dir", files.dir / "out", "-j", "0"},
       "option --jobs: '0' is out of range (1 to 1024)"},
      // The overlay comes last, after every base.
      {{"composite", files.inputs[2], "--out-dir", files.dir / "out"},
       "missing BASE (see morvex composite --help)"},
  };
  const auto before = files.dir.Entries();
  for (const auto& tc : cases) {
    const CliRun run = RunCli(tc.args);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "morvex " + tc.args[0] + ": " + tc.message + "\n");
  }
  EXPECT_EQ(files.dir.Entries(), before);
}

// On a terminal: a progress line redrawn in place, cleared at the end; the
// messages and the summary stay.
TEST(Progress, ShownOnATerminalOnly) {
  BatchFiles files;
  const CliRun batch =
      RunCliOnTerminal(files.Args({"desaturate"}, {"--out-dir", files.dir / "grey", "-j", "1"}));
  EXPECT_EQ(batch.exitCode, 2);
  EXPECT_NE(batch.out.find("\rmorvex desaturate: 0/5 done, "), std::string::npos) << batch.out;
  EXPECT_NE(batch.out.find("\rmorvex desaturate: 5/5 done (2 failed), "), std::string::npos)
      << batch.out;
  EXPECT_NE(batch.out.find("morvex desaturate: 3 of 5 files written to "), std::string::npos);
  EXPECT_NE(batch.out.find("\r\x1b[K"), std::string::npos) << "the line is cleared";

  // A single run names its stages, each export call of a radial blur among them.
  const CliRun single =
      RunCliOnTerminal({"radial-blur", files.inputs[0], files.dir / "zoom.png"});
  EXPECT_EQ(single.exitCode, 0) << single.out;
  for (const char* stage : {"reading ", "red channel, 3 of 4 (RadialBlurMask)", "writing "})
    EXPECT_NE(single.out.find(stage), std::string::npos) << stage << " in " << single.out;
  const CliRun quiet = RunCli({"radial-blur", files.inputs[0], files.dir / "zoom.png", "-y"});
  EXPECT_EQ(quiet.exitCode, 0);
  EXPECT_EQ(quiet.err, "");
  EXPECT_EQ(quiet.out, "");
}

}  // namespace
}  // namespace morvex::test
