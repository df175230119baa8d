// Host tables for the pixel tests that end right at an inaccessible page.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/fenced_buffer.h"
#include "support/random.h"

namespace morvex::test {

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
