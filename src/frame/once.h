// One-time initialisation without locks or function-local statics.
//
// The process-wide tables (processor features, luminance weights, fraction
// table) are filled on first use. The first caller fills; callers that arrive
// meanwhile wait until the fill is published, so every reader sees complete
// values and the fill runs exactly once per process.
#pragma once

#include <atomic>
#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64) || defined(_M_IX86)
#include <emmintrin.h>
#endif

namespace morvex {

class OnceGate {
 public:
  constexpr OnceGate() = default;
  OnceGate(const OnceGate&) = delete;
  OnceGate& operator=(const OnceGate&) = delete;

  template <class Fill>
  void Run(Fill&& fill) {
    if (state_.load(std::memory_order_acquire) == kDone) return;
    std::uint8_t expected = kIdle;
    if (state_.compare_exchange_strong(expected, kBusy, std::memory_order_acq_rel)) {
      fill();
      state_.store(kDone, std::memory_order_release);
      return;
    }
    while (state_.load(std::memory_order_acquire) != kDone) Pause();
  }

  bool Done() const { return state_.load(std::memory_order_acquire) == kDone; }

 private:
  static void Pause() {
#if defined(__SSE2__) || defined(_M_X64) || defined(_M_IX86)
    _mm_pause();
#endif
  }

  static constexpr std::uint8_t kIdle = 0;
  static constexpr std::uint8_t kBusy = 1;
  static constexpr std::uint8_t kDone = 2;
  std::atomic<std::uint8_t> state_{kIdle};
};

}  // namespace morvex
