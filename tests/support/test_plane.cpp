#include "support/test_plane.h"

#include <cstdlib>

namespace morvex::test {

TestPlane::TestPlane(std::int32_t rowBytes, std::int32_t rows, std::int32_t padding,
                     bool bottomUp)
    : rowBytes_(rowBytes < 0 ? 0 : rowBytes),
      rows_(rows < 0 ? 0 : rows),
      padding_(padding < 0 ? 0 : padding),
      bottomUp_(bottomUp) {
  const std::int64_t pitch = static_cast<std::int64_t>(rowBytes_) + padding_;
  const std::int64_t total = rows_ > 0 ? rows_ * pitch - padding_ : 0;
  buffer_ = std::make_unique<FencedBuffer>(static_cast<std::size_t>(total),
                                           bottomUp ? FenceSide::kBefore : FenceSide::kAfter);
  std::memset(buffer_->data(), kGuardPattern, buffer_->size());
  if (bottomUp && rows_ > 0) {
    first_ = buffer_->data() + (rows_ - 1) * pitch;
    stride_ = static_cast<std::int32_t>(-pitch);
  } else {
    first_ = buffer_->data();
    stride_ = static_cast<std::int32_t>(pitch);
  }
}

void TestPlane::FillRandom(Rng& rng) {
  for (std::int32_t y = 0; y < rows_; ++y) rng.Fill(Row(y), static_cast<std::size_t>(rowBytes_));
}

void TestPlane::Fill(std::uint8_t value) {
  for (std::int32_t y = 0; y < rows_; ++y) std::memset(Row(y), value, static_cast<std::size_t>(rowBytes_));
}

bool TestPlane::GuardsIntact() const {
  if (!buffer_->SlackIntact()) return false;
  for (std::int32_t y = 0; y < rows_; ++y) {
    // Padding follows each row in memory, except the highest one.
    const bool highest = bottomUp_ ? y == 0 : y == rows_ - 1;
    if (highest) continue;
    const std::uint8_t* pad = Row(y) + rowBytes_;
    for (std::int32_t i = 0; i < padding_; ++i)
      if (pad[i] != kGuardPattern) return false;
  }
  return true;
}

std::vector<std::uint8_t> TestPlane::Snapshot() const {
  return {buffer_->data(), buffer_->data() + buffer_->size()};
}

std::vector<std::uint8_t> TestPlane::RowBytes() const {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(rowBytes_) * rows_);
  for (std::int32_t y = 0; y < rows_; ++y) bytes.insert(bytes.end(), Row(y), Row(y) + rowBytes_);
  return bytes;
}

}  // namespace morvex::test
