// Shared helpers of the filter tests: running on every processor path, and
// ARGB planes described as plain pixel vectors.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frame/cpu_features.h"
#include "support/test_plane.h"

namespace morvex::test {

struct CpuPath {
  const char* label;
  std::uint32_t flags;
};

// The paths the machine can run: everything it has, then narrower.
inline std::vector<CpuPath> CpuPaths() {
  const std::uint32_t probed = ProbedCpuFeatureFlags();
  std::vector<CpuPath> paths{{"probed", probed}};
  if (probed & kCpuAvx2) paths.push_back({"sse2", probed & (kCpuMmx | kCpuSse | kCpuSse2)});
  paths.push_back({"scalar", 0});
  return paths;
}

// Pins the feature flags for a scope.
class PinnedPath {
 public:
  explicit PinnedPath(const CpuPath& path) { SetCpuFeatureFlagsForTest(path.flags); }
  ~PinnedPath() { RestoreCpuFeatureFlagsForTest(); }
  PinnedPath(const PinnedPath&) = delete;
  PinnedPath& operator=(const PinnedPath&) = delete;
};

// An ARGB image as rows of 0xAARRGGBB words.
using Pixels = std::vector<std::vector<std::uint32_t>>;

inline Pixels ReadPixels(const TestPlane& plane, int width, int height) {
  Pixels out(height, std::vector<std::uint32_t>(width));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) out[y][x] = plane.Get<std::uint32_t>(4 * x, y);
  return out;
}

inline void WritePixels(TestPlane& plane, const Pixels& pixels) {
  for (std::size_t y = 0; y < pixels.size(); ++y)
    for (std::size_t x = 0; x < pixels[y].size(); ++x)
      plane.Set<std::uint32_t>(static_cast<int>(4 * x), static_cast<int>(y), pixels[y][x]);
}

// Byte c of a pixel word, and a word with all four bytes equal.
inline int ChannelOf(std::uint32_t pixel, int c) { return (pixel >> (8 * c)) & 0xFF; }
inline std::uint32_t Gray4(std::uint32_t v) { return v * 0x01010101u; }

}  // namespace morvex::test
