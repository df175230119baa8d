// Scalar access to host memory of any alignment that the vector layer's
// emulations and lookups share.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/compiler.h"

namespace morvex::simd {

// The float at table + 4 * index. Read through a packed struct, which the
// compiler loads straight into a vector register (a byte copy can take a
// detour through a general register).
struct UnalignedFloat {
  float v;
} __attribute__((packed, may_alias));
MORVEX_INLINE float FloatAt(const void* table, std::uint32_t index) {
  return reinterpret_cast<const UnalignedFloat*>(static_cast<const unsigned char*>(table) +
                                                 4 * std::size_t{index})
      ->v;
}

}  // namespace morvex::simd
