/* A host program: binds to Morvex.Native by file name and export names, the
 * way an application does, and runs a few exports on its own memory. */
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#include "morvex/native.h"

typedef uint8_t(MORVEX_CALL* BitmapCopyFn)(uint8_t*, int32_t, const uint8_t*, int32_t, int32_t,
                                           int32_t, int32_t);
typedef uint8_t(MORVEX_CALL* ChannelCopyFn)(uint8_t*, int32_t, int32_t, int32_t, int32_t,
                                            const uint8_t*, int32_t, int32_t);
typedef uint32_t(MORVEX_CALL* FpuControlFn)(uint32_t, uint32_t);

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : "./Morvex.Native.so";
  void* lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  BitmapCopyFn bitmapCopy;
  ChannelCopyFn channelCopy;
  FpuControlFn fpuControl;
  uint8_t image[4 * 4 * 2], mask[4 * 2];
  int i;
  if (lib == NULL) {
    fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
    return 1;
  }
  bitmapCopy = (BitmapCopyFn)dlsym(lib, "BitmapCopy");
  channelCopy = (ChannelCopyFn)dlsym(lib, "ChannelCopy");
  fpuControl = (FpuControlFn)dlsym(lib, "FPU_Control");
  if (!bitmapCopy || !channelCopy || !fpuControl) {
    fprintf(stderr, "missing export in %s\n", path);
    return 1;
  }
  printf("loaded %s\n", path);
  printf("FPU_Control(0, 0) = 0x%08x\n", (unsigned)fpuControl(0, 0));

  /* A 4x2 image of premultiplied BGRA pixels; route its alpha into a mask. */
  for (i = 0; i < (int)sizeof image; ++i) image[i] = (uint8_t)(i * 7);
  channelCopy(mask, 4, 1, 4, 2, image + 3, 16, 4);
  printf("alpha channel as a mask:");
  for (i = 0; i < 8; ++i) printf(" %u", mask[i]);
  printf("\n");

  /* Flip the image vertically with a negative source stride. */
  {
    uint8_t flipped[sizeof image];
    bitmapCopy(flipped, 16, image + 16, -16, 4, 4, 2);
    printf("bottom-up copy %s\n", memcmp(flipped, image + 16, 16) == 0 ? "ok" : "FAILED");
  }
  dlclose(lib);
  return 0;
}
