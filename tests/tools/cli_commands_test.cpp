// Each subcommand writes exactly the pixels the library gives for the same
// direct call on the same premultiplied input.
#include <gtest/gtest.h>

#include <functional>

#include "cli_harness.h"
#include "morvex/native.h"

namespace morvex::test {
namespace {

using cli::Image;

struct Shape {
  std::int32_t width, height;
};
constexpr Shape kShapes[] = {{1, 1}, {7, 3}, {33, 17}};

// Runs `args` ("IN" and "OUT" replaced by file names) on a random input of
// every shape and compares the written file with `direct` applied to the
// loaded input.
void ExpectSameAsDirect(const std::vector<std::string>& args,
                        const std::function<Image(const Image&)>& direct, std::uint64_t seed) {
  for (const Shape shape : kShapes) {
    ScratchDir dir;
    Rng rng(seed + shape.width);
    const Image input = WriteRandomPng(rng, dir / "in.png", shape.width, shape.height);
    std::vector<std::string> words;
    for (const auto& a : args) words.push_back(a == "IN" ? dir / "in.png" : a == "OUT" ? dir / "out.png" : a);
    const CliRun run = RunCli(words);
    ASSERT_EQ(run.exitCode, 0) << args[0] << ": " << run.err;
    const Image expected = direct(input);
    std::int32_t w, h;
    const auto got = ReadRgba8(dir / "out.png", &w, &h);
    ASSERT_EQ(w, expected.width);
    ASSERT_EQ(h, expected.height);
    EXPECT_EQ(got, SavedBytes(expected)) << args[0] << " " << shape.width << "x" << shape.height;
  }
}

TEST(CliCommands, Copies) {
  ExpectSameAsDirect({"flip", "IN", "OUT"}, [](const Image& in) {
    Image out(in.width, in.height);
    for (std::int32_t y = 0; y < in.height; ++y)
      BitmapCopy(out.Row(y), 0, in.Row(in.height - 1 - y), 0, 4, in.width, 1);
    return out;
  }, 1);
  const struct {
    const char* from;
    const char* to;
    int fromIndex, toIndex;
  } routes[] = {{"red", "blue", 2, 0}, {"alpha", "green", 3, 1}, {"blue", "alpha", 0, 3}};
  for (const auto& r : routes)
    ExpectSameAsDirect({"copy-channel", "IN", "OUT", "--from", r.from, "--to", r.to},
                       [&](const Image& in) {
                         Image out = in;
                         ChannelCopy(out.pixels.data() + r.toIndex, 0, 4, in.width * in.height, 1,
                                     in.pixels.data() + r.fromIndex, 0, 4);
                         return out;
                       },
                       2);
}

}  // namespace
}  // namespace morvex::test
