#include "core/geometry.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "morvex/native.h"

namespace morvex::cli {

Move UprightMove(int exifOrientation) {
  return exifOrientation >= 1 && exifOrientation <= 8 ? static_cast<Move>(exifOrientation)
                                                      : Move::kNone;
}

bool SwapsSides(Move move) { return static_cast<int>(move) >= 5; }

namespace {

// out(x, y) = in(sx, sy) for the source position each move takes, over
// `Bytes`-sized pixels. Every move's source is linear in x and y: the pixel
// index first + x * dx + y * dy. In blocks, so that neither side is read a
// whole column at a time.
template <std::size_t Bytes>
void Remap(const std::uint8_t* in, std::int32_t w, std::int32_t h, Move move, std::uint8_t* out) {
  const bool swap = SwapsSides(move);
  const std::int32_t ow = swap ? h : w, oh = swap ? w : h;
  const std::int64_t right = w - 1, bottom = std::int64_t(h - 1) * w;
  std::int64_t first = 0, dx = 1, dy = w;
  switch (move) {
    case Move::kMirror: first = right, dx = -1, dy = w; break;
    case Move::kRotate180: first = bottom + right, dx = -1, dy = -w; break;
    case Move::kFlip: first = bottom, dx = 1, dy = -w; break;  // (done in place instead)
    case Move::kTranspose: first = 0, dx = w, dy = 1; break;
    case Move::kRotate90: first = bottom, dx = -w, dy = 1; break;
    case Move::kTransverse: first = bottom + right, dx = -w, dy = -1; break;
    case Move::kRotate270: first = right, dx = w, dy = -1; break;
    case Move::kNone: break;
  }
  constexpr std::int32_t kBlock = 64;
  for (std::int32_t by = 0; by < oh; by += kBlock)
    for (std::int32_t bx = 0; bx < ow; bx += kBlock)
      for (std::int32_t y = by; y < std::min(oh, by + kBlock); ++y) {
        std::uint8_t* row = out + std::size_t(y) * ow * Bytes;
        const std::int64_t at = first + y * dy;
        for (std::int32_t x = bx; x < std::min(ow, bx + kBlock); ++x)
          std::memcpy(row + std::size_t(x) * Bytes, in + std::size_t(at + x * dx) * Bytes, Bytes);
      }
}

// Rows in reverse order, in place, by BitmapCopy with negative strides: the
// bottom half reversed into a spare half, the top half reversed into the
// bottom, the spare into the top (a middle row stays).
void FlipInPlace(std::uint8_t* pixels, std::int32_t w, std::int32_t h, std::size_t bytes) {
  const auto stride = static_cast<std::int32_t>(std::size_t(w) * bytes);
  const auto elementBytes = static_cast<std::int32_t>(bytes);
  const std::int32_t half = h / 2;
  if (half == 0) return;
  std::vector<std::uint8_t> spare(std::size_t(half) * stride);
  std::uint8_t* last = pixels + std::size_t(h - 1) * stride;
  BitmapCopy(spare.data(), stride, last, -stride, elementBytes, w, half);
  BitmapCopy(last, -stride, pixels, stride, elementBytes, w, half);
  BitmapCopy(pixels, stride, spare.data(), stride, elementBytes, w, half);
}

}  // namespace

void MovePixels(Picture& picture, Move move) {
  if (move == Move::kNone) return;
  const std::int32_t w = picture.width(), h = picture.height();
  if (move == Move::kFlip) {
    if (picture.deepForm())
      FlipInPlace(reinterpret_cast<std::uint8_t*>(picture.deep.rgba.data()), w, h, 8);
    else
      FlipInPlace(picture.image.pixels.data(), w, h, 4);
    return;
  }
  const bool swap = SwapsSides(move);
  if (picture.deepForm()) {
    StraightPixels out;
    out.width = swap ? h : w;
    out.height = swap ? w : h;
    out.maxValue = picture.deep.maxValue;
    out.rgba.resize(picture.deep.rgba.size());
    Remap<8>(reinterpret_cast<const std::uint8_t*>(picture.deep.rgba.data()), w, h, move,
             reinterpret_cast<std::uint8_t*>(out.rgba.data()));
    picture.deep = std::move(out);
    return;
  }
  Image out(swap ? h : w, swap ? w : h);
  Remap<4>(picture.image.pixels.data(), w, h, move, out.pixels.data());
  picture.image = std::move(out);
}

void CropPixels(Picture& picture, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height) {
  const std::int32_t w = picture.width();
  const std::size_t bytes = picture.deepForm() ? 8 : 4;
  const auto inStride = static_cast<std::int32_t>(std::size_t(w) * bytes);
  const auto outStride = static_cast<std::int32_t>(std::size_t(width) * bytes);
  auto crop = [&](const std::uint8_t* in, std::uint8_t* out) {
    BitmapCopy(out, outStride, in + std::size_t(y) * inStride + std::size_t(x) * bytes, inStride,
               static_cast<std::int32_t>(bytes), width, height);
  };
  if (picture.deepForm()) {
    StraightPixels out;
    out.width = width;
    out.height = height;
    out.maxValue = picture.deep.maxValue;
    out.rgba.resize(std::size_t(width) * height * 4);
    crop(reinterpret_cast<const std::uint8_t*>(picture.deep.rgba.data()),
         reinterpret_cast<std::uint8_t*>(out.rgba.data()));
    picture.deep = std::move(out);
    return;
  }
  Image out(width, height);
  crop(picture.image.pixels.data(), out.pixels.data());
  picture.image = std::move(out);
}

}  // namespace morvex::cli
