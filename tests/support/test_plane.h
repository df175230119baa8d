// A host-style plane for tests: rows of `rowBytes` bytes, optional padding
// between rows (filled with a guard pattern), top-down or bottom-up (negative
// stride), fenced by an inaccessible page beyond its outermost byte.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "support/fenced_buffer.h"
#include "support/random.h"

namespace morvex::test {

class TestPlane {
 public:
  TestPlane(std::int32_t rowBytes, std::int32_t rows, std::int32_t padding = 0,
            bool bottomUp = false);

  // First byte of row 0 as an export sees it, and the signed stride.
  std::uint8_t* first() const { return first_; }
  std::int32_t stride() const { return stride_; }
  // The first row as float elements, for float planes.
  float* floats() const { return reinterpret_cast<float*>(first_); }
  std::uint8_t* Row(std::int32_t y) const { return first_ + static_cast<std::ptrdiff_t>(y) * stride_; }
  std::int32_t rowBytes() const { return rowBytes_; }
  std::int32_t rows() const { return rows_; }

  // Random bytes in every row; padding keeps its guard pattern.
  void FillRandom(Rng& rng);
  void Fill(std::uint8_t value);
  // Padding between rows and the slack around the buffer still hold the pattern.
  bool GuardsIntact() const;
  // The whole buffer, padding included: equal snapshots mean nothing changed.
  std::vector<std::uint8_t> Snapshot() const;
  // Row bytes only, row 0 first.
  std::vector<std::uint8_t> RowBytes() const;

  template <class T>
  T Get(std::int32_t byteOffset, std::int32_t y) const {
    T v;
    std::memcpy(&v, Row(y) + byteOffset, sizeof v);
    return v;
  }
  template <class T>
  void Set(std::int32_t byteOffset, std::int32_t y, T v) {
    std::memcpy(Row(y) + byteOffset, &v, sizeof v);
  }

 private:
  std::int32_t rowBytes_, rows_, padding_;
  bool bottomUp_;
  std::unique_ptr<FencedBuffer> buffer_;
  std::uint8_t* first_ = nullptr;
  std::int32_t stride_ = 0;
};

// A random plane shape for randomised tests: padding 0..pad, sometimes bottom-up.
struct PlaneShape {
  std::int32_t padding;
  bool bottomUp;
};
inline PlaneShape RandomShape(Rng& rng, std::int32_t maxPadding = 19) {
  return {rng.Bool() ? 0 : rng.Int(1, maxPadding), rng.Int(0, 3) == 0};
}

}  // namespace morvex::test
