// Shared pieces of the blur tests: the path choice, host-style buffers
// for the intermediate and the sigma arrays (no alignment promise).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "blur/gaussian.h"
#include "frame/cpu_features.h"
#include "frame/fpu.h"
#include "support/cpu_paths.h"
#include "support/fenced_buffer.h"
#include "support/fp_state.h"
#include "support/random.h"

namespace morvex::blur::test_util {

// GaussianBlur's vector path: the single-precision table's vector entries
// (a processor with SSE2).
inline bool VectorPath(const test::CpuPath& path) {
  return kImageSingleKernelTable.Chosen(path.flags) != InstructionSet::kScalar;
}

inline const test::CpuPath kScalarPath{"scalar", 0, InstructionSet::kScalar};

using test::kHostRoundings;

// The intermediate: `bytes` bytes starting `misalign` bytes into a fenced
// buffer, so over-runs fault; the bytes before it must stay untouched.
class Temp {
 public:
  Temp(std::size_t bytes, int misalign)
      : buffer_(std::make_unique<test::FencedBuffer>(bytes + misalign, test::FenceSide::kAfter)),
        misalign_(misalign),
        bytes_(bytes) {
    std::memset(buffer_->data(), 0xC3, bytes + misalign);
  }
  float* data() const { return reinterpret_cast<float*>(buffer_->data() + misalign_); }
  std::vector<std::uint8_t> Snapshot() const {
    return {buffer_->data(), buffer_->data() + buffer_->size()};
  }
  std::vector<float> Floats() const {
    std::vector<float> v(bytes_ / 4);
    std::memcpy(v.data(), buffer_->data() + misalign_, v.size() * 4);
    return v;
  }
  bool LeadIntact() const {
    for (int i = 0; i < misalign_; ++i)
      if (buffer_->data()[i] != 0xC3) return false;
    return buffer_->SlackIntact();
  }

 private:
  std::unique_ptr<test::FencedBuffer> buffer_;
  int misalign_;
  std::size_t bytes_;
};

// Doubles stored from byte 1 of their storage: the library may not assume
// alignment.
class SigmaArray {
 public:
  explicit SigmaArray(const std::vector<double>& values) : bytes_(values.size() * 8 + 1) {
    if (!values.empty()) std::memcpy(bytes_.data() + 1, values.data(), values.size() * 8);
  }
  const double* get() const { return reinterpret_cast<const double*>(bytes_.data() + 1); }

 private:
  std::vector<std::uint8_t> bytes_;
};

inline double RandomSigma(test::Rng& rng) {
  switch (rng.Int(0, 5)) {
    case 0:
      return rng.Real(-3.0, 0.6);
    case 1:
      return rng.Real(50.0, 200.0);
    case 2:
      return rng.Real(2.0, 3.0);
    default:
      return rng.Real(0.5, 12.0);
  }
}

inline std::vector<double> RandomSigmas(test::Rng& rng, int n) {
  std::vector<double> v(static_cast<std::size_t>(n));
  for (double& s : v) s = RandomSigma(rng);
  return v;
}

inline std::vector<std::uint8_t> FloatBytes(const std::vector<float>& v) {
  std::vector<std::uint8_t> b(v.size() * 4);
  std::memcpy(b.data(), v.data(), b.size());
  return b;
}

// The checks after a call compared with the reference: the floating-point
// state as it was, result 1, the plane's rows and the intermediate bit for
// bit, and nothing written beside either.
template <class Plane, class Expected>
void ExpectCallMatches(std::uint8_t result, const test::FpState& before, const Plane& plane,
                       const Temp& temp, const Expected& expected) {
  EXPECT_EQ(test::ReadFpState(), before);
  ASSERT_EQ(result, 1);
  EXPECT_EQ(plane.RowBytes(), expected.rows);
  EXPECT_EQ(FloatBytes(temp.Floats()), FloatBytes(expected.temp));
  EXPECT_TRUE(plane.GuardsIntact());
  EXPECT_TRUE(temp.LeadIntact());
}

}  // namespace morvex::blur::test_util
