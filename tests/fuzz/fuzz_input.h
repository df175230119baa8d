// Decoding a fuzzer's bytes into export arguments, and the planes they need.
//
// Sizes stay small enough to allocate (the library does not validate sizes;
// the fuzzer's job is to give it planes that really cover the region), while
// every numeric parameter can take any value, non-finite ones included.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "frame/cpu_features.h"
#include "support/cpu_paths.h"
#include "support/test_plane.h"

namespace morvex::fuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t U8() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::uint32_t U32() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | U8();
    return v;
  }
  std::uint64_t U64() { return (static_cast<std::uint64_t>(U32()) << 32) | U32(); }
  bool Bool() { return (U8() & 1) != 0; }
  // An integer in [lo, hi].
  std::int32_t Range(std::int32_t lo, std::int32_t hi) {
    const std::uint64_t span = static_cast<std::uint64_t>(static_cast<std::int64_t>(hi) - lo) + 1;
    return static_cast<std::int32_t>(lo + static_cast<std::int64_t>(U32() % span));
  }
  // A region extent: mostly small, sometimes zero, negative or extreme (the
  // extreme ones only where the other extent is empty, see Extents).
  std::int32_t Extent(std::int32_t max) {
    switch (U8() % 8) {
      case 0: return 0;
      case 1: return Range(-3, -1);
      case 2: return std::numeric_limits<std::int32_t>::min();
      default: return Range(1, max);
    }
  }
  // Any 32-bit value, biased toward the interesting ones.
  std::int32_t AnyInt() {
    static const std::int32_t kSpecial[] = {0, 1, -1, 2, 3, 4, 5, 7, 8, 16, 255, 256,
                                            std::numeric_limits<std::int32_t>::max(),
                                            std::numeric_limits<std::int32_t>::min()};
    const std::uint8_t pick = U8();
    if (pick < 160) return kSpecial[pick % (sizeof kSpecial / sizeof kSpecial[0])];
    return static_cast<std::int32_t>(U32());
  }
  // Any double: special values, a sensible range, or raw bit patterns.
  double AnyDouble(double lo = -2.0, double hi = 2.0) {
    static const double kSpecial[] = {0.0, -0.0, 1.0, -1.0, 0.5, 0.25, 2.0, 255.0, 256.0,
                                      0.99995, 1.0001, 1e-300, -1e-300, 4.9e-324, 1e300, -1e300,
                                      2147483648.0, -2147483649.0, 8.4e6, 54.0, 0.49,
                                      std::numeric_limits<double>::infinity(),
                                      -std::numeric_limits<double>::infinity(),
                                      std::numeric_limits<double>::quiet_NaN()};
    switch (U8() % 4) {
      case 0: return kSpecial[U8() % (sizeof kSpecial / sizeof kSpecial[0])];
      case 1: {
        const std::uint64_t bits = U64();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
      }
      default: return lo + (hi - lo) * (static_cast<double>(U32()) / 4294967295.0);
    }
  }
  float AnyFloat(float lo = -2.0f, float hi = 2.0f) { return static_cast<float>(AnyDouble(lo, hi)); }

  void Fill(std::uint8_t* p, std::size_t n) {
    // Plane contents: a seed from the input expanded, so long planes do not
    // need long inputs.
    std::uint64_t s = U64() | 1;
    const bool structured = Bool();
    for (std::size_t i = 0; i < n; ++i) {
      s ^= s << 13;
      s ^= s >> 7;
      s ^= s << 17;
      p[i] = structured ? static_cast<std::uint8_t>((s >> 60) * 17) : static_cast<std::uint8_t>(s);
    }
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// Both extents of a region; an extreme extent is only paired with an empty
// other extent, so the region's memory stays allocatable.
struct Extents {
  std::int32_t width, height;
  bool empty() const { return width <= 0 || height <= 0; }
  std::int32_t rows() const { return empty() ? 0 : height; }
  std::int32_t columns() const { return empty() ? 0 : width; }
};
inline Extents DecodeExtents(FuzzInput& in, std::int32_t maxWidth, std::int32_t maxHeight) {
  Extents e{in.Extent(maxWidth), in.Extent(maxHeight)};
  if (e.width > 0 && e.height > 0) return e;
  if (in.Bool()) {
    // Empty region with a huge other extent: nothing may be touched.
    if (e.width <= 0) e.height = in.Bool() ? std::numeric_limits<std::int32_t>::max() : e.height;
    else e.width = in.Bool() ? std::numeric_limits<std::int32_t>::max() : e.width;
  }
  return e;
}

// A plane holding `rows` rows of `rowBytes` bytes, padded and possibly
// bottom-up, fenced, filled from the input.
inline std::unique_ptr<test::TestPlane> MakePlane(FuzzInput& in, std::int64_t rowBytes,
                                                  std::int32_t rows) {
  if (rowBytes < 0) rowBytes = 0;
  const std::int32_t padding = in.Bool() ? 0 : in.Range(1, 13);
  auto plane = std::make_unique<test::TestPlane>(static_cast<std::int32_t>(rowBytes), rows,
                                                 padding, in.Bool());
  for (std::int32_t y = 0; y < plane->rows(); ++y)
    in.Fill(plane->Row(y), static_cast<std::size_t>(plane->rowBytes()));
  return plane;
}

// A fenced copy of a table (or any small block) from the input.
class FencedBlock {
 public:
  FencedBlock(FuzzInput& in, std::size_t bytes) : buffer_(bytes, test::FenceSide::kAfter) {
    in.Fill(buffer_.data(), bytes);
  }
  std::uint8_t* data() { return buffer_.data(); }

 private:
  test::FencedBuffer buffer_;
};

// The processor paths an export is compared on: every instruction-set level
// the machine has, widest first, and plain scalar code unless left out.
inline std::vector<std::uint32_t> DifferentialPaths(bool includeScalar = true) {
  std::vector<std::uint32_t> paths;
  for (const test::CpuPath& path : test::CpuPaths())
    if (includeScalar || path.level != InstructionSet::kScalar) paths.push_back(path.flags);
  return paths;
}

// Aborts (so the fuzzer reports a crash) when two paths disagree.
inline void RequireSame(bool same, const char* what) {
  if (!same) {
    std::fprintf(stderr, "paths disagree: %s\n", what);
    std::abort();
  }
}

}  // namespace morvex::fuzz
