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

/* ---- Masks and geometry ---- */

#ifdef __cplusplus
}
#endif

#endif /* MORVEX_NATIVE_H */
