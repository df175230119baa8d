#include "pixel/copy.h"

#include <cstddef>
#include <cstring>

namespace morvex::pixel {

void CopyRows(Rows dst, ConstRows src, std::int64_t rowBytes, std::int32_t height) {
  // A row larger than the address space cannot describe host memory.
  if (rowBytes <= 0 || static_cast<std::uint64_t>(rowBytes) > PTRDIFF_MAX) return;
  const auto bytes = static_cast<std::size_t>(rowBytes);
  for (std::int32_t y = 0; y < height; ++y) {
    // memmove: rows that overlap their destination still copy soundly.
    std::memmove(dst.row, src.row, bytes);
    dst.Next();
    src.Next();
  }
}

void CopyChannel(Rows dst, std::int32_t dstStep, ConstRows src, std::int32_t srcStep,
                 std::int32_t width, std::int32_t height) {
  if (width <= 0) return;  // rows without elements: nothing to walk
  for (std::int32_t y = 0; y < height; ++y) {
    Byte* d = dst.row;
    const Byte* s = src.row;
    for (std::int32_t x = 0; x < width; ++x) {
      *d = *s;
      d += dstStep;
      s += srcStep;
    }
    dst.Next();
    src.Next();
  }
}

}  // namespace morvex::pixel
