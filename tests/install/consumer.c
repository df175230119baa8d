/* A consumer built against an installed tree. */
#include <morvex/native.h>
#include <stdio.h>

int main(void) {
  uint8_t src[4] = {1, 2, 3, 4}, dst[4] = {0, 0, 0, 0};
  if (BitmapCopy(dst, 4, src, 4, 4, 1, 1) != 1 || dst[3] != 4) return 1;
  puts("consumer ok");
  return 0;
}
