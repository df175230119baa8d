// Checksum cases of the tone family.
#include <cstring>
#include <limits>
#include <vector>

#include "morvex/native.h"
#include "support/checksum.h"

namespace morvex::test {
namespace {

void RunDesaturate(Rng& rng, Hasher& hash) {
  const int width = rng.Int(0, 41), height = rng.Int(-1, 7);
  const auto shape = RandomShape(rng);
  TestPlane image(width * 4 + rng.Int(0, 2) * 4, height, shape.padding, shape.bottomUp);
  image.FillRandom(rng);
  // Flags whose low byte is zero but higher bytes are not, now and then.
  const std::uint32_t alsoAlpha = rng.Bool() ? rng.U32() : rng.U32() & 0xFFFFFF00u;
  hash.Value(Desaturate(image.first(), image.stride(), width, height, alsoAlpha));
  hash.Plane(image);
}

void RunHistogram(Rng& rng, Hasher& hash) {
  const int width = rng.Int(-1, 41), height = rng.Int(-1, 7);
  const auto shape = RandomShape(rng);
  TestPlane image(width > 0 ? width * 4 : 0, height, shape.padding, shape.bottomUp);
  image.FillRandom(rng);
  if (rng.Bool())  // few distinct values: long runs of equal counters
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width * 4; ++x) image.Row(y)[x] &= 0x0F;
  // Four arrays at unaligned offsets of one buffer filled with garbage;
  // sometimes two of them share memory.
  std::vector<std::uint8_t> counters(4 * 1024 + 16);
  rng.Fill(counters.data(), counters.size());
  const int base = rng.Int(0, 3);
  int offsets[4] = {base, base + 1024, base + 2048, base + 3072};
  if (rng.Int(0, 3) == 0) offsets[rng.Int(1, 3)] = offsets[0] + 4 * rng.Int(0, 2);
  auto array = [&](int a) { return reinterpret_cast<std::int32_t*>(counters.data() + offsets[a]); };
  hash.Value(Histogram(image.first(), image.stride(), width, height, array(0), array(1), array(2),
                       array(3)));
  hash.Bytes(counters.data(), counters.size());
}

double HslParameter(Rng& rng, double lo, double hi) {
  const double specials[] = {0.0,
                             1.0,
                             -1.0,
                             0.5,
                             0.3333333333333333,
                             2.5,
                             1e10,
                             -1e300,
                             std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()};
  return rng.Int(0, 4) == 0 ? specials[rng.Int(0, 9)] : rng.Real(lo, hi);
}

void RunHslScaleOffset(Rng& rng, Hasher& hash) {
  const int width = rng.Int(0, 29), height = rng.Int(-1, 6);
  const auto shape = RandomShape(rng);
  TestPlane image(width * 4 + rng.Int(0, 1) * 4, height, shape.padding, shape.bottomUp);
  image.FillRandom(rng);
  // Host rounding other than nearest must not show in the result.
  const std::uint32_t mode = static_cast<std::uint32_t>(rng.Int(0, 3)) << 8;
  const std::uint32_t saved = FPU_Control(0, 0);
  FPU_Control(mode, 0x300);
  hash.Value(HslScaleOffset(image.first(), image.stride(), width, height,
                            HslParameter(rng, 0.0, 2.0), HslParameter(rng, 0.0, 2.0),
                            HslParameter(rng, 0.0, 2.0), HslParameter(rng, -1.0, 1.0),
                            HslParameter(rng, -0.5, 0.5), HslParameter(rng, -0.5, 0.5)));
  hash.Value(FPU_Control(0, 0) & 0x300);
  FPU_Control(saved, 0x300);
  hash.Plane(image);
}

MORVEX_CHECKSUM_CASE({"Desaturate", &RunDesaturate, 0x3c0058755badf9cc});
MORVEX_CHECKSUM_CASE({"Histogram", &RunHistogram, 0x2e26f2b4d79c2df5});
MORVEX_CHECKSUM_CASE({"HslScaleOffset", &RunHslScaleOffset, 0xd27e42b47d9ec63a});

}  // namespace
}  // namespace morvex::test
