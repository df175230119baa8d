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
