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
 * itself, with the same stride, to map in place).
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
MORVEX_API uint8_t MORVEX_CALL ConvertARGBToARGBFloat(uint8_t* dst, int32_t dstStride,
                                                      const uint8_t* src, int32_t srcStride,
                                                      int32_t width, int32_t height);
/* Each float of a float pixel becomes a rounded, clamped byte; not forced premultiplied. */
MORVEX_API uint8_t MORVEX_CALL ConvertARGBFloatToARGB(uint8_t* dst, int32_t dstStride,
                                                      const uint8_t* src, int32_t srcStride,
                                                      int32_t width, int32_t height);
/* Each mask float is table[byte `channel` of the source pixel], bits copied.
 * Only the low two bits of channel count (channel 4 reads blue like 0), so no
 * byte outside the pixel is read. */
MORVEX_API uint8_t MORVEX_CALL ConvertChannelToFloatMask(uint8_t* dst, int32_t dstStride,
                                                         const uint8_t* src, int32_t srcStride,
                                                         int32_t channel, int32_t width,
                                                         int32_t height, const uint8_t* table);
/* Each mask float becomes a rounded, clamped byte v and the grey pixel (v, v, v, v). */
MORVEX_API uint8_t MORVEX_CALL ConvertFloatMaskToARGB(uint8_t* dst, int32_t dstStride,
                                                      const uint8_t* src, int32_t srcStride,
                                                      int32_t width, int32_t height);

/* ---- Blending and compositing ---- */

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
 * takes at most width + height samples, spread evenly over its whole segment
 * when that is longer, so infinite or huge displacements cost bounded time.
 * dst and src must not overlap. Returns 1. */
MORVEX_API uint8_t MORVEX_CALL RadialBlurMask(uint8_t* dst, int32_t dstStride, int32_t dstStep,
                                              const uint8_t* src, int32_t srcStride,
                                              int32_t srcStep, int32_t width, int32_t height,
                                              double centerX, double centerY, double scaleX,
                                              double scaleY, double gain);

/* ---- Masks and geometry ---- */

#ifdef __cplusplus
}
#endif

#endif /* MORVEX_NATIVE_H */
