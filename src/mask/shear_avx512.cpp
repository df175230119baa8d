// Shear kernels, sixteen pixels per step. Per byte, LerpPixel(p, q, wp, wq)
// is q + floor(((p - q) * wp + 2048) / 4096) and equally
// p + floor(((q - p) * wq + 2048) / 4096), since wp + wq = 4096. Taking the
// form whose weight w is at most 2048, floor((x * w + 2048) / 4096) for
// |x| <= 255 is exactly the rounding high multiply of x by 8 * w
// (floor((x * 8w + 2^14) / 2^15)), one instruction per sixteen bytes.
#include <immintrin.h>

#include "mask/shear.h"

namespace morvex::mask {
namespace {

// Per 16-bit lane: base + floor((x * w8 / 8 + 2048) / 4096).
inline __m512i MixWords(__m512i base, __m512i x, __m512i w8) {
  return _mm512_add_epi16(base, _mm512_mulhrs_epi16(x, w8));
}

// Sixteen pixels with one pair of weights: the base is q when wp <= 2048,
// else p.
struct UniformLerp {
  bool baseIsQ;
  __m512i w8;

  UniformLerp(std::int32_t wp, std::int32_t wq)
      : baseIsQ(wp <= 2048),
        w8(_mm512_set1_epi16(static_cast<short>(8 * (wp <= 2048 ? wp : wq)))) {}

  __m512i operator()(__m512i p, __m512i q) const {
    const __m512i zero = _mm512_setzero_si512();
    const __m512i base = baseIsQ ? q : p, other = baseIsQ ? p : q;
    const __m512i bl = _mm512_unpacklo_epi8(base, zero), bh = _mm512_unpackhi_epi8(base, zero);
    const __m512i ol = _mm512_unpacklo_epi8(other, zero), oh = _mm512_unpackhi_epi8(other, zero);
    return _mm512_packus_epi16(MixWords(bl, _mm512_sub_epi16(ol, bl), w8),
                               MixWords(bh, _mm512_sub_epi16(oh, bh), w8));
  }
};

// Sixteen pixels with their own weights wp (0 .. 4096): per pixel the base
// is q, or p where wp > 2048, with w = min(wp, 4096 - wp).
class LaneLerp {
 public:
  LaneLerp() = default;
  explicit LaneLerp(__m256i weights) {
    // Word j of a 128-bit lane i belongs to pixel 4i + j / 4 (low unpack) or
    // 4i + 2 + j / 4 (high unpack).
    const __m512i lowIndex = _mm512_set_epi16(13, 13, 13, 13, 12, 12, 12, 12, 9, 9, 9, 9, 8, 8, 8,
                                              8, 5, 5, 5, 5, 4, 4, 4, 4, 1, 1, 1, 1, 0, 0, 0, 0);
    const __m512i highIndex = _mm512_add_epi16(lowIndex, _mm512_set1_epi16(2));
    swap_ = _mm256_cmpgt_epi16_mask(weights, _mm256_set1_epi16(2048));
    const __m256i w = _mm256_min_epi16(weights, _mm256_sub_epi16(_mm256_set1_epi16(4096), weights));
    const __m512i w8 = _mm512_castsi256_si512(_mm256_slli_epi16(w, 3));
    low_ = _mm512_permutexvar_epi16(lowIndex, w8);
    high_ = _mm512_permutexvar_epi16(highIndex, w8);
  }

  __m512i operator()(__m512i p, __m512i q) const {
    const __m512i zero = _mm512_setzero_si512();
    const __m512i base = _mm512_mask_mov_epi32(q, swap_, p);
    const __m512i other = _mm512_mask_mov_epi32(p, swap_, q);
    const __m512i bl = _mm512_unpacklo_epi8(base, zero), bh = _mm512_unpackhi_epi8(base, zero);
    const __m512i ol = _mm512_unpacklo_epi8(other, zero), oh = _mm512_unpackhi_epi8(other, zero);
    return _mm512_packus_epi16(MixWords(bl, _mm512_sub_epi16(ol, bl), low_),
                               MixWords(bh, _mm512_sub_epi16(oh, bh), high_));
  }

 private:
  __mmask16 swap_;
  __m512i low_, high_;
};

// A plain unaligned load that the compiler must not fold into a masked
// instruction (a masked load from memory is slow on some processors).
inline __m512i LoadPlain(const Byte* p) {
  __m512i v = _mm512_loadu_si512(p);
  __asm__("" : "+v"(v));
  return v;
}

// Source lines are fetched this many rows ahead of the walk: the rows one
// destination row reads lie a stride apart, out of reach of the hardware's
// own prefetching.
constexpr std::int32_t kPrefetchRows = 16;

// A run is walked in bands of rows, each band in strips of groups: one strip
// of sixteen groups keeps the source lines its rows read within the first
// level cache, and one band keeps the pages it touches within reach of the
// address translation caches.
constexpr std::int32_t kRunGroups = 64;  // groups of a run (1024 lines)
constexpr std::int32_t kStrip = 16;      // groups of a strip
constexpr std::int32_t kBandRows = 32;   // rows of a band

// One group of sixteen lines. P(r) holds, per line, the source pixel
// S[clamp(r + start)] of the line's column; the second neighbour of
// destination row r is the first of row r + 1, so P(r + 1) serves both.
struct GroupWalk {
  std::ptrdiff_t column;                 // byte offset of the group's first line
  std::ptrdiff_t prefetch;               // from row r + lowest to the line fetched ahead
  std::int32_t lowest, highest;          // the extreme shifts
  std::int32_t entries;                  // distinct shifts
  std::int32_t start[kShearGroup];       // per entry
  __mmask16 lanes[kShearGroup];          // per entry
  std::ptrdiff_t offset[kShearGroup];    // per entry: from row r + lowest, plus column

  void Init(const PlaneView<const Byte>& src, std::ptrdiff_t at, const std::int32_t* lineStart) {
    ShearShift shifts[kShearGroup];
    entries = GroupByShift(lineStart, shifts);
    column = at;
    lowest = highest = shifts[0].start;
    for (std::int32_t e = 0; e < entries; ++e) {
      start[e] = shifts[e].start;
      lanes[e] = static_cast<__mmask16>(shifts[e].lanes);
      lowest = start[e] < lowest ? start[e] : lowest;
      highest = start[e] > highest ? start[e] : highest;
    }
    for (std::int32_t e = 0; e < entries; ++e)
      offset[e] = static_cast<std::ptrdiff_t>((static_cast<std::int64_t>(start[e]) - lowest) *
                                              src.rowStep) +
                  column;
    // The last byte of the newest source row kPrefetchRows ahead (its
    // first line, when the load straddles two, is the previous group's last).
    prefetch = static_cast<std::ptrdiff_t>(
                   (static_cast<std::int64_t>(highest) - lowest + kPrefetchRows) * src.rowStep) +
               column + 63;
  }

  // Rows r for which P(r) needs no clamping, and its prefetch stays inside.
  bool Inside(std::int64_t r, std::int32_t last) const {
    return r + lowest >= 0 && r + highest + kPrefetchRows <= last;
  }

  __m512i P(const PlaneView<const Byte>& src, std::int32_t r) const {
    const std::int32_t last = src.height - 1;
    if (Inside(r, last)) {
      const Byte* base = src.Row(r + lowest);
      _mm_prefetch(reinterpret_cast<const char*>(base + prefetch), _MM_HINT_T0);
      __m512i p = LoadPlain(base + offset[0]);
      for (std::int32_t e = 1; e < entries; ++e)
        p = _mm512_mask_mov_epi32(p, lanes[e], LoadPlain(base + offset[e]));
      return p;
    }
    __m512i p = LoadPlain(src.Row(ClampPosition(static_cast<std::int64_t>(r) + start[0], last)) +
                          column);
    for (std::int32_t e = 1; e < entries; ++e) {
      const Byte* row = src.Row(ClampPosition(static_cast<std::int64_t>(r) + start[e], last));
      p = _mm512_mask_mov_epi32(p, lanes[e], LoadPlain(row + column));
    }
    return p;
  }
};

// Lines before the first group: as many as bring the groups' source loads
// onto 64-byte boundaries, when every source row starts at the same offset
// from one.
std::int32_t GroupPhase(const PlaneView<const Byte>& src, std::int32_t firstLine) {
  if (src.rowStep % 64 != 0) return 0;
  const auto at = reinterpret_cast<std::uintptr_t>(src.firstRow) + 4u * static_cast<std::uint32_t>(firstLine);
  const std::uint32_t gap = static_cast<std::uint32_t>(-at) & 63u;
  return gap % 4 == 0 ? static_cast<std::int32_t>(gap / 4) : 0;
}

}  // namespace

void ShearLerpRowAvx512(Byte* dst, const Byte* a, const Byte* b, std::int32_t count,
                        std::int32_t wp, std::int32_t wq) {
  const UniformLerp lerp(wp, wq);
  std::int32_t x = 0;
  for (; x + 16 <= count; x += 16) {
    const std::ptrdiff_t at = ElementOffset(x, 4);
    _mm512_storeu_si512(dst + at, lerp(_mm512_loadu_si512(a + at), _mm512_loadu_si512(b + at)));
  }
  if (x < count) {
    const std::ptrdiff_t at = ElementOffset(x, 4);
    const __mmask16 tail = static_cast<__mmask16>((1u << (count - x)) - 1);
    _mm512_mask_storeu_epi32(dst + at, tail,
                             lerp(_mm512_maskz_loadu_epi32(tail, a + at),
                                  _mm512_maskz_loadu_epi32(tail, b + at)));
  }
}

void ShearColumnRunAvx512(const PlaneView<Byte>& dst, const PlaneView<const Byte>& src,
                          std::int32_t firstLine, const ShearColumns& columns, std::int32_t count) {
  // Whole groups of lines inside the source's columns, from `phase` on.
  const std::int32_t usable = src.width - firstLine < count ? src.width - firstLine : count;
  const std::int32_t phase = GroupPhase(src, firstLine);
  std::int32_t groups = usable > phase ? (usable - phase) / kShearGroup : 0;
  if (groups > kRunGroups) groups = kRunGroups;
  const std::int32_t end = phase + groups * kShearGroup;
  // The lines outside the groups, row by row.
  const auto others = [&](std::int32_t r) {
    const std::int32_t head = groups > 0 ? phase : 0, tail = groups > 0 ? end : 0;
    if (head > 0) ShearColumnRowAvx2(dst.Row(r) + ElementOffset(firstLine, 4), src, r, firstLine, columns, head);
    if (tail < count) {
      const ShearColumns rest{columns.start + tail, columns.wp + tail};
      ShearColumnRowAvx2(dst.Row(r) + ElementOffset(firstLine + tail, 4), src, r, firstLine + tail,
                         rest, count - tail);
    }
  };
  GroupWalk walks[kRunGroups];
  __m512i carried[kRunGroups];  // P(r) of each group at the band's row r
  for (std::int32_t g = 0; g < groups; ++g) {
    const std::int32_t k = phase + g * kShearGroup;
    walks[g].Init(src, ElementOffset(firstLine + k, 4), columns.start + k);
    carried[g] = walks[g].P(src, 0);
  }
  for (std::int32_t r0 = 0; r0 < dst.height; r0 += kBandRows) {
    const std::int32_t r1 = dst.height - r0 < kBandRows ? dst.height : r0 + kBandRows;
    for (std::int32_t g0 = 0; g0 < groups; g0 += kStrip) {
      const std::int32_t n = groups - g0 < kStrip ? groups - g0 : kStrip;
      LaneLerp lerps[kStrip];
      for (std::int32_t j = 0; j < n; ++j)
        lerps[j] = LaneLerp(_mm256_loadu_si256(
            reinterpret_cast<const __m256i*>(columns.wp + phase + (g0 + j) * kShearGroup)));
      for (std::int32_t r = r0; r < r1; ++r) {
        Byte* out = dst.Row(r);
        for (std::int32_t j = 0; j < n; ++j) {
          const GroupWalk& walk = walks[g0 + j];
          const __m512i next = walk.P(src, r + 1);
          _mm512_storeu_si512(out + walk.column, lerps[j](carried[g0 + j], next));
          carried[g0 + j] = next;
        }
      }
    }
    for (std::int32_t r = r0; r < r1; ++r) others(r);
  }
}

}  // namespace morvex::mask
