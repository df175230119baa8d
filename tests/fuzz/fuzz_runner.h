// Runs one decoded export call on every processor path and demands the same
// written bytes and result, untouched guard bytes and an unchanged
// floating-point state.
#pragma once

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
  void Bytes(const std::uint8_t* p, std::size_t n) { bytes_.insert(bytes_.end(), p, p + n); }
  bool operator==(const Output& other) const { return bytes_ == other.bytes_; }

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
    // The host may call with any rounding mode; exports that round for
    // themselves must not depend on it and must leave it as it was.
    test::FpStateGuard guard;
    test::SetHostRounding(static_cast<std::uint32_t>(in.U8() % 4) << 8);
    const test::FpState before = test::ReadFpState();
    call(in, out);
    RequireSame(test::ReadFpState() == before, "the floating-point state was not restored");
    if (!haveFirst) {
      first = std::move(out);
      haveFirst = true;
    } else {
      RequireSame(out == first, "a vector path wrote other bytes than the scalar definition");
    }
  }
  RestoreCpuFeatureFlagsForTest();
}

}  // namespace morvex::fuzz
