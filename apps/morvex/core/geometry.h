// Moving pixels without changing them: the eight ways of turning and
// mirroring a picture, and cropping, on the samples in whatever form the
// picture holds (straight 8 or 16 bits as stored, or premultiplied), so every
// move is lossless. --auto-orient and the geometry commands (flip, mirror,
// rotate, transpose, transverse, crop) all go through here.
#pragma once

#include "core/picture.h"

namespace morvex::cli {

// Numbered as EXIF numbers orientations: the move that brings a picture
// tagged with that orientation upright.
enum class Move {
  kNone = 1,
  kMirror = 2,      // left and right swapped
  kRotate180 = 3,
  kFlip = 4,        // upside down: rows in reverse order
  kTranspose = 5,   // rows become columns (mirrored along the main diagonal)
  kRotate90 = 6,    // a quarter turn clockwise
  kTransverse = 7,  // mirrored along the other diagonal
  kRotate270 = 8,   // a quarter turn anticlockwise
};

// The move for EXIF orientation 1..8; kNone for any other value.
Move UprightMove(int exifOrientation);
// Whether the move swaps width and height.
bool SwapsSides(Move move);

// Applies `move` to the picture's pixels; metadata is left as it is. A flip
// is BitmapCopy with a negative source stride.
void MovePixels(Picture& picture, Move move);

// Keeps the `width` x `height` pixels from (x, y) on, which must lie inside
// the picture (BitmapCopy of those rows).
void CropPixels(Picture& picture, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height);

}  // namespace morvex::cli
