// Helpers of the pixel tests: running a check on every processor path, and
// host tables that end right at an inaccessible page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frame/cpu_features.h"
#include "support/fenced_buffer.h"
#include "support/random.h"

namespace morvex::test {

struct CpuPath {
  std::string label;
  std::uint32_t flags;
};

// The probed flags, then each narrower path down to plain scalar code.
inline std::vector<CpuPath> CpuPaths() {
  const std::uint32_t probed = ProbedCpuFeatureFlags();
  std::vector<CpuPath> paths{{"probed", probed}};
  if (probed & kCpuAvx2) paths.push_back({"no-avx2", probed & ~kCpuAvx2});
  if (probed & kCpuSse2) paths.push_back({"sse2", kCpuMmx | kCpuSse | kCpuSse2});
  paths.push_back({"scalar", 0});
  return paths;
}

// Pins the flags for one path and restores the probed ones on scope exit.
class PinnedPath {
 public:
  explicit PinnedPath(const CpuPath& path) { SetCpuFeatureFlagsForTest(path.flags); }
  ~PinnedPath() { RestoreCpuFeatureFlagsForTest(); }
  PinnedPath(const PinnedPath&) = delete;
  PinnedPath& operator=(const PinnedPath&) = delete;
};

// A 256-entry table of 4-byte entries in front of a fence. With `slack` 0 it
// ends right at the fence (any read past entry 255 faults); a slack of 1..15
// bytes before the fence leaves its start off every 16-byte boundary.
class HostTable {
 public:
  explicit HostTable(int slack = 0)
      : buffer_(1024 + static_cast<std::size_t>(slack), FenceSide::kAfter),
        data_(buffer_.data()) {}
  std::uint8_t* data() const { return data_; }
  void FillRandom(Rng& rng) { rng.Fill(data_, 1024); }
  void SetEntry(int index, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) data_[4 * index + k] = static_cast<std::uint8_t>(value >> (8 * k));
  }

 private:
  FencedBuffer buffer_;
  std::uint8_t* data_;
};

}  // namespace morvex::test
