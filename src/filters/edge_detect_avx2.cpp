// EdgeDetect row kernel, AVX2: eight pixels per step on bytes.
#include "filters/edge_detect.h"

#if defined(__SSE2__)
#include <immintrin.h>

namespace morvex::filters {
namespace {

inline __m256i Load(const Byte* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

inline __m256i AbsDiff(__m256i a, __m256i b) {
  return _mm256_or_si256(_mm256_subs_epu8(a, b), _mm256_subs_epu8(b, a));
}

// The eight pixels of a row one to the left and one to the right of a step.
struct Neighbours {
  __m256i left, right;
};

// The neighbours of the step at byte offset `at`, loaded directly.
inline Neighbours Around(const Byte* row, std::size_t at) {
  return {Load(row + at - 4), Load(row + at + 4)};
}

// Writes pixels j .. j+7 from the rows above and below (pixels j-1, j, j+1
// of each) and the current row (j-1 and j+1).
class EdgeStep {
 public:
  EdgeStep(bool gray, std::int32_t threshold) : gray_(gray) {
    const ByteThreshold bt = MakeByteThreshold(threshold);
    floor_ = _mm256_set1_epi8(static_cast<char>(bt.floor));
    // A disabled threshold passes nothing: the mark and the strengths are
    // both masked to 0 below.
    keep_ = _mm256_set1_epi8(static_cast<char>(bt.enabled));
    mark_ = _mm256_and_si256(_mm256_set1_epi8(static_cast<char>(bt.mark)), keep_);
  }

  void Write(Byte* out, const Neighbours& above, __m256i aboveCentre, const Neighbours& below,
             __m256i belowCentre, const Neighbours& row) const {
    const __m256i d1 = AbsDiff(above.left, below.right);
    const __m256i d2 = AbsDiff(aboveCentre, belowCentre);
    const __m256i d3 = AbsDiff(above.right, below.left);
    const __m256i d4 = AbsDiff(row.left, row.right);
    const __m256i v = _mm256_max_epu8(_mm256_max_epu8(d1, d2), _mm256_max_epu8(d3, d4));
    const __m256i pass = _mm256_cmpeq_epi8(_mm256_max_epu8(v, floor_), v);
    // Gray: the blue byte, where it passes, to bytes 0, 1, 2 of its pixel.
    const __m256i spread = _mm256_setr_epi8(0, 0, 0, -1, 4, 4, 4, -1, 8, 8, 8, -1, 12, 12, 12, -1,
                                            0, 0, 0, -1, 4, 4, 4, -1, 8, 8, 8, -1, 12, 12, 12, -1);
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(kOpaqueBlack));
    const __m256i o =
        gray_ ? _mm256_shuffle_epi8(_mm256_and_si256(_mm256_and_si256(v, keep_), pass), spread)
              : _mm256_and_si256(pass, mark_);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_or_si256(o, opaque));
  }

  // One step from unaligned loads around pixel j.
  void WriteAt(Byte* dst, const Byte* above, const Byte* row, const Byte* below,
               std::size_t at) const {
    Write(dst + at, Around(above, at), Load(above + at), Around(below, at), Load(below + at),
          Around(row, at));
  }

 private:
  bool gray_;
  __m256i floor_, keep_, mark_;
};

// A row read in consecutive whole steps: each 32-byte block is loaded once
// and the neighbours are shifted out of it and the blocks beside it.
class RowStream {
 public:
  // Starts at the step of pixel j, with the block before it available.
  RowStream(const Byte* row, std::size_t at)
      : row_(row),
        current_(Load(row + at)),
        before_(_mm256_permute2x128_si256(Load(row + at - 32), current_, 0x21)) {}

  __m256i current() const { return current_; }

  // The neighbours of the current step, reading the next block; then moves on.
  Neighbours Advance(std::size_t at) {
    const __m256i next = Load(row_ + at + 32);
    const __m256i after = _mm256_permute2x128_si256(current_, next, 0x21);
    const Neighbours n{_mm256_alignr_epi8(current_, before_, 12),
                       _mm256_alignr_epi8(after, current_, 4)};
    before_ = after;
    current_ = next;
    return n;
  }

 private:
  const Byte* row_;
  __m256i current_, before_;  // before_: the four pixels on each side of a lane boundary
};

}  // namespace

void EdgeRowAvx2(Byte* dst, const Byte* above, const Byte* row, const Byte* below,
                 std::int32_t width, bool gray, std::int32_t threshold) {
  EdgeBorders(dst, width);
  const EdgeStep step(gray, threshold);
  std::int32_t j = 1;
  // Steps write pixels j .. j+7 and read pixels j-1 .. j+8; the main loop
  // reads pixels j-8 .. j+15.
  if (j <= width - 9) {
    step.WriteAt(dst, above, row, below, 4);
    j += 8;
  }
  // In the main loop each row is read once per block and the neighbours are
  // shifted out of the blocks: loads straddling blocks cost more, in memory.
  if (j <= width - 16) {
    const std::size_t start = 4 * static_cast<std::size_t>(j);
    RowStream a(above, start), m(row, start), b(below, start);
    for (; j <= width - 16; j += 8) {
      const std::size_t at = 4 * static_cast<std::size_t>(j);
      const __m256i aboveCentre = a.current(), belowCentre = b.current();
      const Neighbours aboveSides = a.Advance(at), belowSides = b.Advance(at);
      step.Write(dst + at, aboveSides, aboveCentre, belowSides, belowCentre, m.Advance(at));
    }
  }
  for (; j <= width - 9; j += 8)
    step.WriteAt(dst, above, row, below, 4 * static_cast<std::size_t>(j));
  for (; j < width - 1; ++j) EdgePixel(dst, above, row, below, j, gray, threshold);
}

}  // namespace morvex::filters

#endif
