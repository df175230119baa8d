// Runs one decoded export call on every processor path and demands the same
// written bytes and result, untouched guard bytes and an unchanged
// floating-point state.
#pragma once

#include <algorithm>
#include <vector>

#include "frame/cpu_features.h"
#include "fuzz_input.h"
#include "support/fp_state.h"

namespace morvex::fuzz {

// What one call produced: its result and the bytes of every plane it may write.
class Output {
 public:
  template <class T>
  void Result(T value) {
    const auto* b = reinterpret_cast<const std::uint8_t*>(&value);
    bytes_.insert(bytes_.end(), b, b + sizeof value);
  }
  void Plane(const test::TestPlane& plane) {
    RequireSame(plane.GuardsIntact(), "bytes outside a plane were written");
    const auto snapshot = plane.Snapshot();
    bytes_.insert(bytes_.end(), snapshot.begin(), snapshot.end());
  }
  // A float plane: every NaN is recorded as one value. The fuzzers are built
  // with clang, which may commute the operands of an addition or
  // multiplication and so propagate the other of two NaNs; the shipped build's
  // NaN bits are pinned by the unit tests and the checksum suite instead.
  void FloatPlane(const test::TestPlane& plane) {
    RequireSame(plane.GuardsIntact(), "bytes outside a plane were written");
    auto snapshot = plane.Snapshot();
    if (plane.rows() > 0) {
      // The buffer starts at the lowest row: row 0, or the last row of a bottom-up plane.
      const std::uint8_t* base = std::min(plane.Row(0), plane.Row(plane.rows() - 1));
      for (std::int32_t y = 0; y < plane.rows(); ++y) {
        const std::size_t row = static_cast<std::size_t>(plane.Row(y) - base);
        for (std::int32_t x = 0; x + 4 <= plane.rowBytes(); x += 4) {
          float v;
          std::memcpy(&v, &snapshot[row + x], 4);
          if (v != v) std::memset(&snapshot[row + x], 0xFF, 4);
        }
      }
    }
    bytes_.insert(bytes_.end(), snapshot.begin(), snapshot.end());
  }
  void Bytes(const std::uint8_t* p, std::size_t n) { bytes_.insert(bytes_.end(), p, p + n); }
  bool operator==(const Output& other) const { return bytes_ == other.bytes_; }
  // Offset of the first byte that differs from `other`, for the crash report.
  std::size_t FirstDifference(const Output& other) const {
    std::size_t i = 0;
    while (i < bytes_.size() && i < other.bytes_.size() && bytes_[i] == other.bytes_[i]) ++i;
    return i;
  }

 private:
  std::vector<std::uint8_t> bytes_;
};

// `call(in, out)` decodes its arguments from `in` (identically on every
// path), makes the call and records what it wrote into `out`.
template <class Call>
void RunOnEveryPath(const std::uint8_t* data, std::size_t size, Call&& call,
                    bool includeScalar = true) {
  Output first;
  bool haveFirst = false;
  for (const std::uint32_t flags : DifferentialPaths(includeScalar)) {
    FuzzInput in(data, size);
    Output out;
    SetCpuFeatureFlagsForTest(flags);
    // The host may call with any rounding mode and denormal control; exports
    // that round for themselves must not depend on the mode, every path must
    // treat denormals alike, and the state must be left as it was.
    test::FpStateGuard guard;
    const std::uint8_t host = in.U8();
    test::SetHostRounding(static_cast<std::uint32_t>(host % 4) << 8);
    ControlFloatingPoint(static_cast<std::uint32_t>((host >> 2) % 4) << 24, kFpDenormalField);
    const test::FpState before = test::ReadFpState();
    call(in, out);
    RequireSame(test::ReadFpState() == before, "the floating-point state was not restored");
    if (!haveFirst) {
      first = std::move(out);
      haveFirst = true;
    } else {
      if (!(out == first)) {
        std::fprintf(stderr, "flags 0x%x differ from flags 0x%x at output byte %zu\n", flags,
                     DifferentialPaths(includeScalar)[0], out.FirstDifference(first));
        RequireSame(false, "a vector path wrote other bytes than the scalar definition");
      }
    }
  }
  RestoreCpuFeatureFlagsForTest();
}

}  // namespace morvex::fuzz
