/* A plain C host: the public header must compile as C99 and every declared
 * export must link against the shared library and behave. */
#include <stdio.h>
#include <string.h>

#include "morvex/native.h"

int main(void) {
  uint8_t src[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  uint8_t dst[8] = {0};
  uint32_t word;
  if (BitmapCopy(dst, 8, src, 8, 4, 2, 1) != 1 || memcmp(dst, src, 8) != 0) {
    fputs("BitmapCopy failed\n", stderr);
    return 1;
  }
  memset(dst, 0, sizeof dst);
  if (ChannelCopy(dst, 8, 1, 2, 1, src + 3, 8, 4) != 1 || dst[0] != 4 || dst[1] != 8) {
    fputs("ChannelCopy failed\n", stderr);
    return 1;
  }
  /* One call per family, through the C prototypes (float and double
   * arguments, one-byte and 32-bit results). */
  {
    uint8_t pixels[4 * 4] = {10, 20, 30, 255, 40, 50, 60, 255, 70, 80, 90, 255, 0, 0, 0, 0};
    uint8_t over[4 * 4] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 255, 255, 255};
    int32_t red[256], green[256], blue[256], luma[256];
    float temp[4 * 4 * 4];
    float mask[4] = {0, 0, 0, 0};
    if (Composite(pixels, 16, over, 16, 4, 1, 1, 1.0) != 1 || pixels[12] != 255 ||
        Composite(pixels, 16, over, 16, 4, 1, 2, 1.0) != 0) {
      fputs("Composite failed\n", stderr);
      return 1;
    }
    if (Histogram(pixels, 16, 4, 1, red, green, blue, luma) != 1 || red[90] != 1) {
      fputs("Histogram failed\n", stderr);
      return 1;
    }
    if (GaussianBlur(pixels, 16, 4, 4, 1, temp, (int32_t)sizeof temp, 1.0, 1.0, NULL, NULL) != 1) {
      fputs("GaussianBlur failed\n", stderr);
      return 1;
    }
    if (GenerateNoiseMask(mask, 16, 4, 1, 0.0f, 1023.0f, 1u) != 1 || mask[0] != 41.0f) {
      fputs("GenerateNoiseMask failed\n", stderr);
      return 1;
    }
  }
  word = FPU_Control(0, 0);
  if ((word & 0x300u) != 0) {
    fputs("unexpected rounding mode\n", stderr);
    return 1;
  }
  FPU_Reset();
  if (FPU_Status() != 0) {
    fputs("FPU_Status after FPU_Reset is not 0\n", stderr);
    return 1;
  }
  return 0;
}
