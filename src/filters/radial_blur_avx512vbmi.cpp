// RadialBlurMask row kernel for AVX-512 VBMI. The one difference from the
// AVX-512 kernel is how the four neighbours of a sample are read: when the
// eight lanes sample the same row pair and their elements lie within 64
// bytes of one another (the common case: neighbouring elements move along
// nearly parallel rays), two 64-byte windows of the two rows are loaded and
// the neighbours picked out by byte permutes; otherwise they are gathered.
#include "frame/simd/avx512.h"  // first: it includes the intrinsics
#include "filters/radial_blur_kernels.h"

namespace morvex::filters {
namespace {

using I = simd::avx512::Isa;
using D = I::D;

// Byte 0 of every 64-bit lane.
constexpr __mmask64 kLowBytes = 0x0101010101010101ull;

class WindowReader {
 public:
  WindowReader(const BytePlane& src, const RadialExtent& e)
      : gather_(MakeRadialGather<I>(src, e)),
        base_(e.Base(src)),
        stepD_(I::SetD(src.step)),
        colBiasD_(I::SetD(static_cast<double>(-e.lowCol))),
        step_(_mm512_set1_epi64(src.step)),
        stepBytes_(src.step),
        stride_(src.stride),
        rowBias_(-e.lowRow),
        lastRow_(src.height - 1),
        // Lane 0 is the first element of the group: the others lie after it
        // in memory for a positive step, before it for a negative one.
        lead_(-e.lowCol - (src.step > 0 ? 16 : 47)),
        lastWindow_(e.RowBytes() - 64) {}

  template <bool kInterior>
  MORVEX_INLINE RadialNeighbours<I> operator()(D xi, D yi, std::bool_constant<kInterior>) const {
    // Where the window starts and which rows it reads come from lane 0 in
    // whole numbers, off the vector chain. The window starts a little
    // before lane 0's element, inside the row.
    // Whole numbers below 2^31: the 32-bit conversion is exact.
    const std::int64_t row = TruncateToInt32(_mm512_cvtsd_f64(yi));
    std::int64_t from = std::int64_t{TruncateToInt32(_mm512_cvtsd_f64(xi))} * stepBytes_ + lead_;
    from = from > 0 ? from : 0;
    from = from < lastWindow_ ? from : lastWindow_;
    const __mmask8 sameRow =
        _mm512_cmp_pd_mask(yi, _mm512_broadcastsd_pd(_mm512_castpd512_pd128(yi)), _CMP_EQ_OQ);
    const __m512i origin = _mm512_set1_epi64(from);
    const __m512i at0 = _mm512_sub_epi64(
        _mm512_cvttpd_epi64(_mm512_add_pd(_mm512_mul_pd(xi, stepD_), colBiasD_)), origin);
    // The right neighbour: one step on, or the same element in the last column.
    const __m512i at1 =
        kInterior ? _mm512_add_epi64(at0, step_)
                  : _mm512_mask_add_epi64(at0, _mm512_cmp_pd_mask(xi, gather_.lastX, _CMP_LT_OQ),
                                          at0, step_);
    const __m512i last = _mm512_set1_epi64(63);
    const __mmask8 inside =
        _mm512_mask_cmple_epu64_mask(_mm512_cmple_epu64_mask(at0, last), at1, last);
    if ((inside & sameRow) != 0xFF) [[unlikely]]
      return Spread(xi, yi, at0, at1, from, inside);
    const __m512i upper = Window(row, from), lower = Window(kInterior ? row + 1 : Below(row), from);
    return {Pick(at0, upper), Pick(at1, upper), Pick(at0, lower), Pick(at1, lower)};
  }

 private:
  // The lanes are not all on one row pair inside one window. Out of line, so
  // that the common case keeps its values in registers.
  [[gnu::noinline]] RadialNeighbours<I> Spread(D xi, D yi, __m512i at0, __m512i at1,
                                               std::int64_t from, __mmask8 inside) const {
    if (inside != 0xFF) return GatherNeighbours(gather_, xi, yi);
    // Lanes on two neighbouring rows (their counts differ, so their steps
    // do): three windows, each lane taking its own pair.
    const double first = _mm512_reduce_min_pd(yi);
    const D below = _mm512_sub_pd(yi, _mm512_set1_pd(first));
    if (_mm512_cmp_pd_mask(below, _mm512_set1_pd(1.0), _CMP_LE_OQ) != 0xFF)
      return GatherNeighbours(gather_, xi, yi);
    const __mmask8 second = _mm512_cmp_pd_mask(below, _mm512_set1_pd(1.0), _CMP_EQ_OQ);
    const std::int64_t top = TruncateToInt32(first), middle = Below(top);
    const __m512i w0 = Window(top, from), w1 = Window(middle, from),
                  w2 = Window(Below(middle), from);
    return {PickEither(second, at0, w0, w1), PickEither(second, at1, w0, w1),
            PickEither(second, at0, w1, w2), PickEither(second, at1, w1, w2)};
  }

  // The row after `row`, or the last row itself.
  MORVEX_INLINE std::int64_t Below(std::int64_t row) const {
    return row < lastRow_ ? row + 1 : lastRow_;
  }
  // The 64 bytes of `row` from byte `from` of its elements on.
  MORVEX_INLINE __m512i Window(std::int64_t row, std::int64_t from) const {
    return _mm512_loadu_si512(base_ + (row * stride_ + rowBias_ + from));
  }
  // Byte `at` of the window, per lane, as a double.
  static MORVEX_INLINE D Pick(__m512i at, __m512i window) {
    return _mm512_cvtepi64_pd(_mm512_maskz_permutexvar_epi8(kLowBytes, at, window));
  }
  // As Pick, from `other` in the lanes of `second`.
  static MORVEX_INLINE D PickEither(__mmask8 second, __m512i at, __m512i window, __m512i other) {
    return _mm512_cvtepi64_pd(_mm512_mask_blend_epi64(
        second, _mm512_maskz_permutexvar_epi8(kLowBytes, at, window),
        _mm512_maskz_permutexvar_epi8(kLowBytes, at, other)));
  }

  RadialGather<I> gather_;
  const Byte* base_;
  D stepD_, colBiasD_;
  __m512i step_;
  std::int64_t stepBytes_, stride_, rowBias_, lastRow_, lead_, lastWindow_;
};

// Rows of at least 64 bytes read through windows, shorter ones by gathers.
void RadialRowWindows(Byte* dstRow, std::int32_t dstStep, const BytePlane& src, std::int32_t y,
                      double dy, const RadialParams& p) {
  const RadialExtent extent(src);
  if (extent.RowBytes() < 64) return RadialRow<I>(dstRow, dstStep, src, y, dy, p);
  std::int32_t x = RadialGroups<I>(dstRow, dstStep, src, y, dy, p, WindowReader(src, extent));
  for (; x < src.width; ++x) dstRow[ElementOffset(x, dstStep)] = RadialElement(src, x, y, dy, p);
}

}  // namespace

constinit const RadialKernels kRadialKernelsAvx512Vbmi = {&RadialRowWindows};

}  // namespace morvex::filters
