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

/* ---- Format conversions ---- */

/* ---- Blending and compositing ---- */

/* ---- Tone ---- */

/* ---- Gaussian blur ---- */

/* ---- Local and radial filters ---- */

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
 * Planes that do not fit are handled safely: writes stop at the destination's edge (so a
 * short destination shows the start of each sheared line); destination lines beyond the
 * source's lines (rows past srcHeight - 1 for directions 1 and 2, columns past srcWidth - 1
 * for 0 and 3) repeat the source's last line, shifted as their own index says, the same
 * source column that vertical lines' interpolated pixels already use; with srcWidth or
 * srcHeight below 1 nothing is written. A NaN shift counts as 0 and shifts beyond 2^31
 * pixels as 2^31. The two planes must not overlap. */
MORVEX_API uint8_t MORVEX_CALL Shear(const uint8_t* src, int32_t srcStride, int32_t srcWidth,
                                     int32_t srcHeight, uint8_t* dst, int32_t dstStride,
                                     int32_t dstWidth, int32_t dstHeight, uint32_t direction,
                                     double factor);

#ifdef __cplusplus
}
#endif

#endif /* MORVEX_NATIVE_H */
