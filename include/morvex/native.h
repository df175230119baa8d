/*
 * Morvex.Native: the public C interface.
 *
 * Every export is a flat cdecl function over memory the host owns. Planes are
 * given as a pointer to the first byte of the first row to process, a signed
 * row stride in bytes (negative for bottom-up planes), a width in elements and
 * a height in rows. Pixels of an ARGB image are four bytes: blue, green, red,
 * alpha (premultiplied). Functions that return uint8_t return 1 when the work
 * was done (or there was nothing to do) and 0 when the arguments were refused;
 * a refusal writes nothing to the planes.
 *
 * Pointers, strides and sizes are not validated: the caller passes planes that
 * cover the whole region.
 */
#ifndef MORVEX_NATIVE_H
#define MORVEX_NATIVE_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define MORVEX_CALL __cdecl
#else
#define MORVEX_CALL
#endif

#if defined(MORVEX_BUILDING_LIBRARY) && !defined(_WIN32)
#define MORVEX_API __attribute__((visibility("default")))
#else
#define MORVEX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Floating-point control (abstract control/status word encoding) ---- */

/* Sets the control-word bits selected by mask to those of newValue (the
 * denormal exception mask 0x80000 never changes) on the x87 unit and, with
 * SSE2, on MXCSR; returns the word in effect, 0x80000000 marking units that
 * disagree. An invalid bit inside the mask changes nothing. */
MORVEX_API uint32_t MORVEX_CALL FPU_Control(uint32_t newValue, uint32_t mask);
/* Returns the sticky exception flags of the x87 unit and MXCSR, without clearing them. */
MORVEX_API uint32_t MORVEX_CALL FPU_Status(void);
/* Reinitialises the thread's floating-point state: x87 53-bit precision, MXCSR 0x1F80. */
MORVEX_API void MORVEX_CALL FPU_Reset(void);

/* ---- Copies and channel routing ---- */

/* Copies elementBytes * width bytes per row (nothing when that product is 0 or less). */
MORVEX_API uint8_t MORVEX_CALL BitmapCopy(uint8_t* dst, int32_t dstStride, const uint8_t* src,
                                          int32_t srcStride, int32_t elementBytes, int32_t width,
                                          int32_t height);
/* Copies single bytes: dst[x * dstStep] = src[x * srcStep], in increasing x, per row. */
MORVEX_API uint8_t MORVEX_CALL ChannelCopy(uint8_t* dst, int32_t dstStride, int32_t dstStep,
                                           int32_t width, int32_t height, const uint8_t* src,
                                           int32_t srcStride, int32_t srcStep);

/* ---- Lookup tables ---- */
/* Tables are 256 entries of four bytes, no alignment needed. A ChannelLut's
 * entry i, byte k is channel k's output for input i; a PixelLut's entry is a
 * whole pixel. All work in place except ChannelMapEx. */

/* Each channel c of every pixel becomes table[c's value] byte c. Returns 1. */
MORVEX_API uint8_t MORVEX_CALL Lut(uint8_t* image, int32_t stride, int32_t width, int32_t height,
                                   const uint8_t* table);
/* As Lut, then blue, green and red are limited to the new alpha. Returns 1. */
MORVEX_API uint8_t MORVEX_CALL LutWithAlphaClamp(uint8_t* image, int32_t stride, int32_t width,
                                                 int32_t height, const uint8_t* table);
/* Every pixel becomes the PixelLut entry of its byte `channel`. A channel
 * above 3 (negative ones too) is refused first, even for an empty region:
 * "ChannelMap: invalid channel value" is written and 0 returned. */
MORVEX_API uint8_t MORVEX_CALL ChannelMap(uint8_t* image, int32_t stride, int32_t channel,
                                          int32_t width, int32_t height, const uint8_t* table);
/* As ChannelMap, writing into dst; src is not modified (dst may also be src
 * itself, with the same stride, to map in place). A dst row that partly
 * overlaps its src row is mapped pixel by pixel in increasing x, so later
 * pixels read what earlier ones wrote.
 * Refuses like ChannelMap, with the same message. */
MORVEX_API uint8_t MORVEX_CALL ChannelMapEx(uint8_t* dst, int32_t dstStride, const uint8_t* src,
                                            int32_t srcStride, int32_t channel, int32_t width,
                                            int32_t height, const uint8_t* table);
/* Every pixel becomes the PixelLut entry of min(255, sum of its bytes
 * 0 .. channelCount - 1). channelCount 0 or less sums nothing (entry 0); a
 * count above 4 sums all four bytes, never reading outside the pixel. Returns 1. */
MORVEX_API uint8_t MORVEX_CALL ChannelMergeLut(uint8_t* image, int32_t stride, int32_t channelCount,
                                               int32_t width, int32_t height,
                                               const uint8_t* table);

/* ---- Format conversions ---- */
/* Float planes hold 0..255 (not normalised); all strides are in bytes. Back to
 * bytes, values round to nearest with halves to even whatever the caller's
 * rounding mode (which is restored), then clamp to 0..255; NaN, infinities and
 * magnitudes of 2^31 or more give 0. All return 1. */

/* Each byte of an ARGB pixel becomes a float of the same value (B, G, R, A). */
MORVEX_API uint8_t MORVEX_CALL ConvertARGBToARGBFloat(float* dst, int32_t dstStride,
                                                      const uint8_t* src, int32_t srcStride,
                                                      int32_t width, int32_t height);
/* Each float of a float pixel becomes a rounded, clamped byte; not forced premultiplied. */
MORVEX_API uint8_t MORVEX_CALL ConvertARGBFloatToARGB(uint8_t* dst, int32_t dstStride,
                                                      const float* src, int32_t srcStride,
                                                      int32_t width, int32_t height);
/* Each mask float is table[byte `channel` of the source pixel], bits copied.
 * Only the low two bits of channel count (channel 4 reads blue like 0), so no
 * byte outside the pixel is read. */
MORVEX_API uint8_t MORVEX_CALL ConvertChannelToFloatMask(float* dst, int32_t dstStride,
                                                         const uint8_t* src, int32_t srcStride,
                                                         int32_t channel, int32_t width,
                                                         int32_t height, const float* table);
/* Each mask float becomes a rounded, clamped byte v and the grey pixel (v, v, v, v). */
MORVEX_API uint8_t MORVEX_CALL ConvertFloatMaskToARGB(uint8_t* dst, int32_t dstStride,
                                                      const float* src, int32_t srcStride,
                                                      int32_t width, int32_t height);

/* ---- Blending and compositing ---- */

/* Mixes the colour bytes of src into dst (alpha untouched): per channel
 * clamp((Ws * s + Wd * d + 2048) / 4096, 0, dst alpha), with Ws = trunc((1 - dstWeight)
 * * 4096) and Wd = trunc(dstWeight * 4096). dstWeight is not clamped; for weights whose
 * sums leave the signed 32-bit range (|dstWeight| beyond about 2000, NaN) the sums wrap
 * modulo 2^32 and the clamps still apply. src may equal dst. Returns 1. */
MORVEX_API uint8_t MORVEX_CALL Blend(uint8_t* dst, int32_t dstStride, const uint8_t* src,
                                     int32_t srcStride, int32_t width, int32_t height,
                                     double dstWeight);
/* Per colour channel c: w = mask.c (or byte c of weightLut entry mask.c when weightLut is
 * not null), dst.c = min((src.c * w + dst.c * (255 - w)) / 255, dst alpha). Alpha and mask
 * byte 3 are not used. src may equal dst. Returns 1. */
MORVEX_API uint8_t MORVEX_CALL MaskedBlend(uint8_t* dst, int32_t dstStride, const uint8_t* mask,
                                           int32_t maskStride, const uint8_t* src,
                                           int32_t srcStride, int32_t width, int32_t height,
                                           const uint8_t* weightLut);
/* Like MaskedBlend without a table, for all four channels: alpha is mixed first by mask
 * byte 3 and the colours are clamped to the new alpha. src may equal dst. Returns 1. */
MORVEX_API uint8_t MORVEX_CALL MaskedFade(uint8_t* dst, int32_t dstStride, const uint8_t* mask,
                                          int32_t maskStride, const uint8_t* src,
                                          int32_t srcStride, int32_t width, int32_t height);
/* Lays src over dst with a blend mode (1 normal, 3 add, 4 multiply, 5 overlay, 6 screen,
 * 7 average), then mixes with dst by o = clamp(trunc(opacity * 255 + 0.5), 0, 255):
 * (x * o + d * (255 - o)) / 255. Any other mode returns 0 and writes nothing, whatever the
 * size. Opacity beyond the 32-bit range: 255 when positive, 0 when negative or NaN. For a
 * source colour above its alpha, the normal mode's value saturates to 255 before the mix.
 * src may equal dst. */
MORVEX_API uint8_t MORVEX_CALL Composite(uint8_t* dst, int32_t dstStride, const uint8_t* src,
                                         int32_t srcStride, int32_t width, int32_t height,
                                         int32_t mode, double opacity);
/* Every byte b (alpha included) becomes (b * k + 127) / 256 with k = trunc(factor * 256 +
 * 0.5). For k outside -1..256 (factor outside about -0.0098..1.0019) the result saturates
 * to 0..255. Returns 1. */
MORVEX_API uint8_t MORVEX_CALL Multiply(uint8_t* dst, int32_t dstStride, int32_t width,
                                        int32_t height, double factor);
/* Scales byte dstChannel of each dst pixel by byte maskChannel of the mask pixel: within
 * scale 0.9999..1.0001 and offset -0.0001..0.0001 (or NaN) (d * m + 127) / 255; otherwise
 * clamp((d * (m * Ks + Ko) + 130560) / 261120, 0, 255) with Ks = trunc(scale * 1024),
 * Ko = trunc(offset * 1024), the sums wrapping modulo 2^32 where they leave the signed
 * 32-bit range. A channel above 3 returns 0 and writes nothing. mask may equal dst. */
MORVEX_API uint8_t MORVEX_CALL MultiplyChannel(uint8_t* dst, int32_t dstStride,
                                               uint32_t dstChannel, const uint8_t* mask,
                                               int32_t maskStride, uint32_t maskChannel,
                                               int32_t width, int32_t height, double scale,
                                               double offset);
/* Scales all four bytes of each dst pixel as MultiplyChannel does: by the mask byte of the
 * same index when maskChannel is negative, by mask byte maskChannel when it is 0..3.
 * maskChannel 4 or more returns 0 and writes nothing. mask may equal dst. */
MORVEX_API uint8_t MORVEX_CALL MaskMultiply(uint8_t* dst, int32_t dstStride, const uint8_t* mask,
                                            int32_t maskStride, int32_t width, int32_t height,
                                            int32_t maskChannel, double scale, double offset);
/* On a float ARGB image: with T = (float)(clipLevel * 255) and F = (float)(restoreMin * 255)
 * (current rounding mode), every colour value > T becomes V = (A < F ? F : A).
 * NaN colours stay; a NaN alpha is used as is. Alpha keeps its bits. Returns 1. */
MORVEX_API uint8_t MORVEX_CALL ClipRestore(float* dst, int32_t dstStride, int32_t width,
                                           int32_t height, double clipLevel, double restoreMin);
/* The same operation as ClipRestore. */
MORVEX_API uint8_t MORVEX_CALL FocusPrep(float* dst, int32_t dstStride, int32_t width,
                                         int32_t height, double clipLevel, double restoreMin);

/* ---- Tone ---- */

/* Integer luminance y = (19595 * red + 38469 * green + 7472 * blue + 32768) >> 16
 * (0..255, never above the largest colour byte); colour and alpha bytes are
 * used as stored, premultiplied. */

/* Replaces blue, green and red of every pixel by its luminance, in place; alpha
 * takes it too when the low byte of alsoAlpha is nonzero. Always returns 1. */
MORVEX_API uint8_t MORVEX_CALL Desaturate(uint8_t* image, int32_t stride, int32_t width,
                                          int32_t height, uint32_t alsoAlpha);
/* Sets the four arrays of 256 counters to 0 (on every call, even for an empty
 * region), then counts each pixel's red, green and blue bytes and its
 * luminance; alpha is not counted. Returns the largest counter, 0 when nothing
 * was counted. Counts wrap modulo 2^32. Arrays that share memory receive the
 * sum of their counts. */
MORVEX_API int32_t MORVEX_CALL Histogram(const uint8_t* image, int32_t stride, int32_t width,
                                         int32_t height, int32_t* redCounts, int32_t* greenCounts,
                                         int32_t* blueCounts, int32_t* lumaCounts);
/* In place, per pixel: to hue, saturation, lightness (doubles, 0..1), each
 * times its scale plus its offset, unclamped, and back; alpha passes through.
 * Channels are round-to-nearest-even of value * 255 whatever the host's
 * rounding mode, keeping the low 8 bits (1.2 * 255 = 306 stores 50); a value
 * without a 32-bit integer (NaN, inf, huge) stores 0. Always returns 1. */
MORVEX_API uint8_t MORVEX_CALL HslScaleOffset(uint8_t* image, int32_t stride, int32_t width,
                                              int32_t height, double hueScale,
                                              double saturationScale, double lightnessScale,
                                              double hueOffset, double saturationOffset,
                                              double lightnessOffset);

/* ---- Gaussian blur ---- */

/* Blurs an ARGB image (format 4) or an ARGB float image (format 16, four
 * floats per pixel) in place with a recursive Gaussian; cost independent of
 * sigma. temp receives the horizontal result, four floats per pixel, rows
 * packed (any alignment). Sigmas are clamped to 0.5 .. 54; rowSigmas
 * (height values) and columnSigmas (width values), when not null, replace
 * the single sigma of their direction; a NaN sigma gives 0 in 8-bit results
 * and NaN in float results. Refused (0, with a diagnostic line) when
 * width * 16 * height, computed exactly, exceeds tempBytes (tested first,
 * even for an empty region), then when the format is neither 4 nor 16, and
 * when the column scratch of a very tall region cannot be allocated; a
 * refused call writes nothing. With SSE2 the 8-bit image runs in single
 * precision under the host's rounding mode; otherwise in double precision
 * rounded to nearest. The floating-point state is restored. */
MORVEX_API uint8_t MORVEX_CALL GaussianBlur(uint8_t* pixels, int32_t stride, int32_t format,
                                            int32_t width, int32_t height, float* temp,
                                            int32_t tempBytes, double sigmaHorizontal,
                                            double sigmaVertical, const double* rowSigmas,
                                            const double* columnSigmas);
/* Blurs an 8-bit mask (format 1) or one channel of an ARGB image (format 4,
 * mask pointing at the channel byte; the other bytes are not touched) in
 * place; each result is y * outputScale + outputOffset rounded half to even
 * and clamped to 0 .. 255 (NaN gives 0). temp: one float per element, rows
 * packed. Refused like GaussianBlur, with width * 4 * height against
 * tempBytes and formats other than 1 and 4. */
MORVEX_API uint8_t MORVEX_CALL GaussianBlurMask(uint8_t* mask, int32_t stride, int32_t format,
                                                int32_t width, int32_t height, float* temp,
                                                int32_t tempBytes, double sigmaHorizontal,
                                                double sigmaVertical, double outputScale,
                                                double outputOffset, const double* rowSigmas,
                                                const double* columnSigmas);

/* ---- Local and radial filters ---- */

/* Binomial 3x3 blur of an ARGB image, all four channels: (1 2 1; 2 4 2; 1 2 1)
 * sum / 16 truncated, borders clamped. dst and src must not overlap. Returns 1. */
MORVEX_API uint8_t MORVEX_CALL Blur3x3(uint8_t* dst, int32_t dstStride, const uint8_t* src,
                                       int32_t srcStride, int32_t width, int32_t height);
/* Edge detection of an ARGB image: strength = largest |difference| of opposite
 * neighbours; T = threshold * 255 (rounded in the caller's mode), truncated;
 * NaN or beyond the 32-bit range gives INT32_MIN, which passes every strength.
 * Low byte of singleChannel set: gray = blue strength if >= T, else 0; clear:
 * each colour channel = low byte of T if its strength >= T, else 0. Opaque
 * output; the first and last column are opaque black; a width below 1 skips
 * the row. dst and src must not overlap. Returns 1. */
MORVEX_API uint8_t MORVEX_CALL EdgeDetect(uint8_t* dst, int32_t dstStride, const uint8_t* src,
                                          int32_t srcStride, int32_t width, int32_t height,
                                          uint32_t singleChannel, double threshold);
/* Zoom blur of a strided byte plane (step 1 for a mask, 4 for one channel of
 * an ARGB image), all double arithmetic rounding toward zero whatever the
 * caller's mode: each element is gain times the mean of bilinear samples from
 * itself towards centre + (position - centre) / scale, one per unit of the
 * longer axis of that displacement; 255 and above (also beyond the integer
 * range) store 255, otherwise the low byte of the truncated value (0 for NaN
 * and below the integer range).
 * An element with no displacement, or one that is not a number (NaN centre
 * or scale, the centre under a scale of 0), is copied. Samples before the
 * first column or row take the edge values, as past the last. An element
 * takes ceil(m) samples for a longer displacement axis m, however many that
 * is (the time grows with it), wherever ceil(m) fits a signed 32-bit integer;
 * a longer or infinite displacement (a scale of 0 or nearly so) takes
 * width + height samples spread evenly over its whole segment, the distance
 * beyond the far edges counting up to 2 * (width + height), so it costs
 * bounded time. dst and src must not overlap. Returns 1. */
MORVEX_API uint8_t MORVEX_CALL RadialBlurMask(uint8_t* dst, int32_t dstStride, int32_t dstStep,
                                              const uint8_t* src, int32_t srcStride,
                                              int32_t srcStep, int32_t width, int32_t height,
                                              double centerX, double centerY, double scaleX,
                                              double scaleY, double gain);

/* ---- Masks and geometry ---- */

/* Fills a float mask with reproducible noise: levels[i] = low + (i / 1023) * (high - low)
 * for i = 0..1023; a generator state starts at seed and, per element in row order (running
 * on across rows), becomes state * 214013 + 2531011 (mod 2^32); the element takes
 * levels[(state >> 16) & 1023]. Returns 1. */
MORVEX_API uint8_t MORVEX_CALL GenerateNoiseMask(float* dst, int32_t dstStride, int32_t width,
                                                 int32_t height, float low, float high,
                                                 uint32_t seed);
/* dst = src * dst per element (single precision), in place on dst; dst and src may be the
 * same plane. Returns 1. */
MORVEX_API uint8_t MORVEX_CALL MultiplyMasks(float* dst, int32_t dstStride, const float* src,
                                             int32_t srcStride, int32_t width, int32_t height);
/* Maps the source rectangle onto the destination rectangle by bilinear sampling (2048 steps
 * per pixel, endpoints aligned), clipped to both planes; mode 1 blends
 * (s * amount + (1 - amount) * d), mode 2 multiplies (s * d), any other mode replaces.
 * Returns 0 and writes nothing when the clipped span or the source span it maps to is 1.0 or
 * less wide or high (this includes planes of size 0 or less); otherwise 1. Every read stays
 * inside the source plane and every write inside the destination plane: the span is limited
 * to the destination, sampled columns and rows are limited to the last source column and
 * row, and a position below zero (a rounding below the source's edge, or a wrapped position
 * for extreme rectangles) samples column or row 0 exactly. A zero source-rectangle extent or
 * a non-finite value is not detected; it gives unspecified values, never an access outside
 * the planes. The two planes must not overlap. */
MORVEX_API uint8_t MORVEX_CALL ScaleMask(float* dst, int32_t dstStride, int32_t dstWidth,
                                         int32_t dstHeight, float dstRectX, float dstRectY,
                                         float dstRectWidth, float dstRectHeight, const float* src,
                                         int32_t srcStride, int32_t srcWidth, int32_t srcHeight,
                                         float srcRectX, float srcRectY, float srcRectWidth,
                                         float srcRectHeight, int32_t mode, float amount);
/* Shears an ARGB image: direction 2 shifts row i right by i * factor pixels (1 the same
 * counted from the right edge), direction 3 shifts column i down (0 the same counted from the
 * last row); a negative factor shifts the other way. Pixels interpolate their two source
 * neighbours per byte in 12-bit fixed point; the uncovered ends repeat the line's first or
 * last source pixel. Direction 4 or more does nothing. Always returns 1.
 * Directions 1 and 2 read source rows 0 .. dstHeight - 1 and never read srcHeight: the
 * caller supplies those rows. Directions 0 and 3 read srcHeight rows and source columns
 * 0 .. dstWidth - 1.
 * Planes that do not fit are handled safely: writes stop at the destination's edge (so a
 * short destination shows the start of each sheared line); for directions 0 and 3,
 * destination columns past srcWidth - 1 repeat the source's last column, shifted as their
 * own index says, and with srcWidth or srcHeight below 1 nothing is written; for
 * directions 1 and 2 a srcWidth below 1 writes nothing. A NaN shift counts as 0 and shifts
 * beyond 2^31 pixels as 2^31. The two planes must not overlap. */
MORVEX_API uint8_t MORVEX_CALL Shear(const uint8_t* src, int32_t srcStride, int32_t srcWidth,
                                     int32_t srcHeight, uint8_t* dst, int32_t dstStride,
                                     int32_t dstWidth, int32_t dstHeight, uint32_t direction,
                                     double factor);

#ifdef __cplusplus
}
#endif

#endif /* MORVEX_NATIVE_H */
