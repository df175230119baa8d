// The seeded checksum suite: for each export a fixed list of random calls whose
// outputs (whole planes, padding included, and results) are hashed into one
// committed number. Any change of bits on any path or build shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include <optional>
#include <string>
#include <vector>

#include "support/random.h"
#include "support/stderr_capture.h"
#include "support/test_plane.h"

namespace morvex::test {

// FNV-1a, 64-bit.
class Hasher {
 public:
  void Bytes(const void* p, std::size_t n) {
    const auto* b = static_cast<const std::uint8_t*>(p);
    for (std::size_t i = 0; i < n; ++i) h_ = (h_ ^ b[i]) * 0x100000001B3ull;
  }
  template <class T>
  void Value(const T& v) {
    Bytes(&v, sizeof v);
  }
  void Plane(const TestPlane& plane) {
    const auto bytes = plane.Snapshot();
    Bytes(bytes.data(), bytes.size());
  }
  std::uint64_t value() const { return h_; }

 private:
  std::uint64_t h_ = 0xCBF29CE484222325ull;
};

struct ChecksumCase {
  const char* name;
  // Makes one random call and hashes everything it wrote and returned.
  void (*run)(Rng& rng, Hasher& hash);
  // Expected checksum on every path. For an export whose two paths are
  // defined differently (selected by the SSE2 flag), `expectedWithoutSse2`
  // is the checksum with the flag clear; otherwise it is 0.
  std::uint64_t expected;
  std::uint64_t expectedWithoutSse2 = 0;
  int calls = 64;
};

int RegisterChecksumCase(const ChecksumCase& entry);
// Every registered case, in registration order.
const std::vector<ChecksumCase>& ChecksumCases();
// Runs a case's calls from its own seed and returns the checksum; the label
// names the processor path in trace lines.
std::uint64_t RunChecksumCase(const ChecksumCase& entry, const char* pathLabel = "");

// Whether cases hash the diagnostic lines their calls write (the default).
// Standard error is one per process, so runs that make calls from several
// threads at once switch this off, in their reference run as well.
void SetChecksumDiagnosticCapture(bool on);

// Captures what a case's call writes to the diagnostic sink, when capture is on.
class CaseDiagnostics {
 public:
  CaseDiagnostics();
  std::string Take();

 private:
  std::optional<StderrCapture> capture_;
};

}  // namespace morvex::test

#define MORVEX_CHECKSUM_CONCAT2(a, b) a##b
#define MORVEX_CHECKSUM_CONCAT(a, b) MORVEX_CHECKSUM_CONCAT2(a, b)
// Registers a case: MORVEX_CHECKSUM_CASE({"Name", &RunName, 0x...});
#define MORVEX_CHECKSUM_CASE(...)                                            \
  static const int MORVEX_CHECKSUM_CONCAT(checksumCase_, __LINE__) =          \
      ::morvex::test::RegisterChecksumCase(::morvex::test::ChecksumCase __VA_ARGS__)
