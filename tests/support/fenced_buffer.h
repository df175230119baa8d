// Memory with an inaccessible page right after its last byte (or right before
// its first), so that any read or write past that end faults at once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace morvex::test {

enum class FenceSide { kAfter, kBefore };

class FencedBuffer {
 public:
  FencedBuffer(std::size_t bytes, FenceSide side);
  ~FencedBuffer();
  FencedBuffer(const FencedBuffer&) = delete;
  FencedBuffer& operator=(const FencedBuffer&) = delete;

  std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  // The accessible bytes of the mapping outside [data, data + size): filled
  // with a pattern at construction so stray writes show.
  bool SlackIntact() const;

 private:
  std::uint8_t* mapping_ = nullptr;
  std::size_t mappingBytes_ = 0;
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::uint8_t* slack_ = nullptr;
  std::size_t slackBytes_ = 0;
};

inline constexpr std::uint8_t kGuardPattern = 0xA5;

}  // namespace morvex::test
