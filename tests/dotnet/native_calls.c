/* The C twin of MorvexNativeCalls.cs: the same calls of every export on the
 * same seeded planes, each output printed as hex, so the two transcripts can
 * be compared byte for byte. Keep the two files case for case. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "morvex/native.h"

enum { W = 13, H = 7, S = W * 4 + 12, SF = W * 16 + 8, SM = W + 5, SFM = W * 4 + 12, SD = (W + 6) * 4 };

static uint32_t rng;
static void Seed(uint32_t s) {
  rng = s * 2654435761u + 1;
  if (rng == 0) rng = 1;
}
static uint32_t Next(void) {
  rng ^= rng << 13;
  rng ^= rng >> 17;
  rng ^= rng << 5;
  return rng;
}
static uint8_t* Bytes(int n, uint32_t seed) {
  uint8_t* a = malloc(n);
  Seed(seed);
  for (int i = 0; i < n; ++i) a[i] = (uint8_t)(Next() >> 24);
  return a;
}
static float* Floats(int n, uint32_t seed) {
  float* a = malloc(n * sizeof(float));
  Seed(seed);
  for (int i = 0; i < n; ++i) a[i] = (float)((Next() >> 8) % 1200) / 4.0f - 20.0f;
  return a;
}
static double* Doubles(int n, uint32_t seed) {
  double* a = malloc(n * sizeof(double));
  Seed(seed);
  for (int i = 0; i < n; ++i) a[i] = 0.5 + ((Next() >> 8) % 100) / 10.0;
  return a;
}

static int failures;
static void Record(const char* name, long long ret, const void* data, int n) {
  const uint8_t* p = data;
  printf("%s ret=%lld\n", name, ret);
  for (int off = 0; off < n; off += 32) {
    printf("%s %d: ", name, off);
    for (int i = off; i < n && i < off + 32; ++i) printf("%02x", p[i]);
    printf("\n");
  }
}
static void Refused(const char* name, uint8_t ret) {
  if (ret != 0) {
    fprintf(stderr, "%s: a refusal read back as %u\n", name, ret);
    ++failures;
  }
}

int main(void) {
  /* Floating-point control, and a float export under the host's rounding. */
  FPU_Status();
  FPU_Reset();
  Record("FPU_Control.read", FPU_Control(0, 0), NULL, 0);
  /* The runtime's own code may leave the inexact flag (bit 0) raised. */
  Record("FPU_Status.reset", FPU_Status() & ~1u, NULL, 0);
  Record("FPU_Control.down", FPU_Control(0x100, 0x300), NULL, 0);
  float* f = Floats(SF / 4 * H, 40);
  Record("ClipRestore.down", ClipRestore(f, SF, W, H, 0.50001, 0.3), f, SF * H);
  Record("FPU_Control.nearest", FPU_Control(0, 0x300), NULL, 0);
  FPU_Reset();

  /* Copies. */
  uint8_t* src = Bytes(S * H, 1);
  uint8_t* dst = Bytes(S * H, 2);
  Record("BitmapCopy", BitmapCopy(dst, S, src, S, 4, W, H), dst, S * H);
  Record("BitmapCopy.3up", BitmapCopy(dst + (H - 1) * S, -S, src, S, 3, W, H), dst, S * H);
  uint8_t* m = Bytes(SM * H, 3);
  Record("ChannelCopy.4to1", ChannelCopy(m, SM, 1, W, H, src + 2, S, 4), m, SM * H);
  Record("ChannelCopy.1to4", ChannelCopy(dst + 3, S, 4, W, H, m, SM, 1), dst, S * H);

  /* Lookup tables. */
  uint8_t* img = Bytes(S * H, 4);
  uint8_t* table = Bytes(1024, 5);
  Record("Lut", Lut(img, S, W, H, table), img, S * H);
  img = Bytes(S * H, 6);
  table = Bytes(1024, 7);
  Record("LutWithAlphaClamp", LutWithAlphaClamp(img, S, W, H, table), img, S * H);
  img = Bytes(S * H, 8);
  table = Bytes(1024, 9);
  Record("ChannelMap", ChannelMap(img, S, 1, W, H, table), img, S * H);
  uint8_t ret = ChannelMap(img, S, 4, W, H, table);
  Refused("ChannelMap.refused", ret);
  Record("ChannelMap.refused", ret, img, S * H);
  dst = Bytes(S * H, 10);
  src = Bytes(S * H, 11);
  table = Bytes(1024, 12);
  Record("ChannelMapEx", ChannelMapEx(dst, S, src + (H - 1) * S, -S, 3, W, H, table), dst, S * H);
  ret = ChannelMapEx(dst, S, src, S, -1, W, H, table);
  Refused("ChannelMapEx.refused", ret);
  Record("ChannelMapEx.refused", ret, dst, S * H);
  img = Bytes(S * H, 13);
  table = Bytes(1024, 14);
  Record("ChannelMergeLut.3", ChannelMergeLut(img, S, 3, W, H, table), img, S * H);
  Record("ChannelMergeLut.9", ChannelMergeLut(img, S, 9, W, H, table), img, S * H);

  /* Conversions. */
  src = Bytes(S * H, 15);
  f = Floats(SF / 4 * H, 15);
  Record("ConvertARGBToARGBFloat", ConvertARGBToARGBFloat(f, SF, src, S, W, H), f, SF * H);
  f = Floats(SF / 4 * H, 16);
  dst = Bytes(S * H, 17);
  Record("ConvertARGBFloatToARGB", ConvertARGBFloatToARGB(dst, S, f, SF, W, H), dst, S * H);
  float* fm = Floats(SFM / 4 * H, 18);
  src = Bytes(S * H, 19);
  float* ftable = Floats(256, 20);
  Record("ConvertChannelToFloatMask", ConvertChannelToFloatMask(fm, SFM, src, S, 6, W, H, ftable),
         fm, SFM * H);
  dst = Bytes(S * H, 21);
  fm = Floats(SFM / 4 * H, 22);
  Record("ConvertFloatMaskToARGB", ConvertFloatMaskToARGB(dst, S, fm, SFM, W, H), dst, S * H);

  /* Blending. */
  dst = Bytes(S * H, 23);
  src = Bytes(S * H, 24);
  Record("Blend", Blend(dst, S, src, S, W, H, 0.37), dst, S * H);
  dst = Bytes(S * H, 25);
  m = Bytes(S * H, 26);
  src = Bytes(S * H, 27);
  table = Bytes(1024, 28);
  Record("MaskedBlend.lut", MaskedBlend(dst, S, m, S, src, S, W, H, table), dst, S * H);
  dst = Bytes(S * H, 29);
  m = Bytes(S * H, 30);
  src = Bytes(S * H, 31);
  Record("MaskedBlend", MaskedBlend(dst, S, m, S, src + (H - 1) * S, -S, W, H, NULL), dst, S * H);
  dst = Bytes(S * H, 32);
  m = Bytes(S * H, 33);
  src = Bytes(S * H, 34);
  Record("MaskedFade", MaskedFade(dst, S, m, S, src, S, W, H), dst, S * H);
  dst = Bytes(S * H, 35);
  src = Bytes(S * H, 36);
  Record("Composite.overlay", Composite(dst, S, src, S, W, H, 5, 0.8), dst, S * H);
  dst = Bytes(S * H, 37);
  src = Bytes(S * H, 38);
  ret = Composite(dst, S, src, S, W, H, 2, 0.8);
  Refused("Composite.refused", ret);
  Record("Composite.refused", ret, dst, S * H);
  dst = Bytes(S * H, 39);
  Record("Multiply", Multiply(dst, S, W, H, 0.6), dst, S * H);
  dst = Bytes(S * H, 41);
  m = Bytes(S * H, 42);
  Record("MultiplyChannel", MultiplyChannel(dst, S, 2, m, S, 3, W, H, 1.5, -0.25), dst, S * H);
  dst = Bytes(S * H, 43);
  m = Bytes(S * H, 44);
  ret = MultiplyChannel(dst, S, 4, m, S, 0, W, H, 1.0, 0.0);
  Refused("MultiplyChannel.refused", ret);
  Record("MultiplyChannel.refused", ret, dst, S * H);
  dst = Bytes(S * H, 45);
  m = Bytes(S * H, 46);
  Record("MaskMultiply.each", MaskMultiply(dst, S, m, S, W, H, -1, 0.8, 0.1), dst, S * H);
  dst = Bytes(S * H, 47);
  m = Bytes(S * H, 48);
  Record("MaskMultiply.one", MaskMultiply(dst, S, m, S, W, H, 1, 1.0, 0.0), dst, S * H);
  dst = Bytes(S * H, 49);
  m = Bytes(S * H, 50);
  ret = MaskMultiply(dst, S, m, S, W, H, 4, 1.0, 0.0);
  Refused("MaskMultiply.refused", ret);
  Record("MaskMultiply.refused", ret, dst, S * H);
  f = Floats(SF / 4 * H, 51);
  Record("ClipRestore", ClipRestore(f, SF, W, H, 0.9, 0.2), f, SF * H);
  f = Floats(SF / 4 * H, 51);
  Record("FocusPrep", FocusPrep(f, SF, W, H, 0.9, 0.2), f, SF * H);

  /* Tone. */
  img = Bytes(S * H, 52);
  Record("Desaturate.0x100", Desaturate(img, S, W, H, 0x100), img, S * H);
  img = Bytes(S * H, 53);
  Record("Desaturate.alpha", Desaturate(img, S, W, H, 1), img, S * H);
  img = Bytes(S * H, 54);
  int32_t* counts = malloc(4 * 256 * sizeof(int32_t));
  Record("Histogram", Histogram(img, S, W, H, counts, counts + 256, counts + 512, counts + 768),
         counts, 4 * 256 * 4);
  img = Bytes(S * H, 55);
  Record("HslScaleOffset", HslScaleOffset(img, S, W, H, 1.1, 0.9, 1.05, 0.1, -0.05, 0.02), img,
         S * H);

  /* Gaussian blur. */
  float* temp = Floats(W * H * 4, 0);
  img = Bytes(S * H, 56);
  double* rows = Doubles(H, 57);
  Record("GaussianBlur.4", GaussianBlur(img, S, 4, W, H, temp, W * H * 16, 2.5, 1.5, rows, NULL),
         img, S * H);
  f = Floats(SF / 4 * H, 58);
  double* columns = Doubles(W, 59);
  Record("GaussianBlur.16",
         GaussianBlur((uint8_t*)f, SF, 16, W, H, temp, W * H * 16, 3.0, 3.0, NULL, columns), f,
         SF * H);
  img = Bytes(S * H, 60);
  ret = GaussianBlur(img, S, 4, W, H, temp, W * H * 16 - 1, 2.0, 2.0, NULL, NULL);
  Refused("GaussianBlur.refused", ret);
  Record("GaussianBlur.refused", ret, img, S * H);
  m = Bytes(SM * H, 61);
  Record("GaussianBlurMask.1",
         GaussianBlurMask(m, SM, 1, W, H, temp, W * H * 4, 2.0, 1.0, 1.2, -3.0, NULL, NULL), m,
         SM * H);
  img = Bytes(S * H, 62);
  Record("GaussianBlurMask.4",
         GaussianBlurMask(img + 1, S, 4, W, H, temp, W * H * 4, 1.5, 2.5, 1.0, 0.0, rows,
                          columns),
         img, S * H);
  m = Bytes(SM * H, 63);
  ret = GaussianBlurMask(m, SM, 1, W, H, temp, W * H * 4 - 4, 2.0, 2.0, 1.0, 0.0, NULL, NULL);
  Refused("GaussianBlurMask.refused", ret);
  Record("GaussianBlurMask.refused", ret, m, SM * H);

  /* Filters. */
  dst = Bytes(S * H, 64);
  src = Bytes(S * H, 65);
  Record("Blur3x3", Blur3x3(dst, S, src + (H - 1) * S, -S, W, H), dst, S * H);
  dst = Bytes(S * H, 66);
  src = Bytes(S * H, 67);
  Record("EdgeDetect.single", EdgeDetect(dst, S, src, S, W, H, 1, 0.1), dst, S * H);
  dst = Bytes(S * H, 68);
  src = Bytes(S * H, 69);
  Record("EdgeDetect.0x100", EdgeDetect(dst, S, src, S, W, H, 0x100, 0.05), dst, S * H);
  m = Bytes(SM * H, 70);
  src = Bytes(S * H, 71);
  Record("RadialBlurMask",
         RadialBlurMask(m, SM, 1, src + 2, S, 4, W, H, 5.5, 3.0, 1.3, 0.9, 1.1), m, SM * H);

  /* Masks and geometry. */
  fm = Floats(SFM / 4 * H, 72);
  Record("GenerateNoiseMask", GenerateNoiseMask(fm, SFM, W, H, -0.5f, 2.0f, 12345u), fm, SFM * H);
  fm = Floats(SFM / 4 * H, 73);
  float* fm2 = Floats(SFM / 4 * H, 74);
  Record("MultiplyMasks", MultiplyMasks(fm, SFM, fm2, SFM, W, H), fm, SFM * H);
  fm = Floats(SFM / 4 * H, 75);
  fm2 = Floats(SFM / 4 * H, 76);
  Record("ScaleMask",
         ScaleMask(fm, SFM, W, H, 1.0f, 0.5f, 10.0f, 6.0f, fm2, SFM, W, H, 0.0f, 0.0f, 12.5f,
                   6.5f, 1, 0.3f),
         fm, SFM * H);
  ret = ScaleMask(fm, SFM, W, H, 1.0f, 0.5f, 0.5f, 6.0f, fm2, SFM, W, H, 0.0f, 0.0f, 12.5f, 6.5f,
                  0, 1.0f);
  Refused("ScaleMask.refused", ret);
  Record("ScaleMask.refused", ret, fm, SFM * H);
  src = Bytes(S * H, 77);
  dst = Bytes(SD * (H + 3), 78);
  Record("Shear.2", Shear(src, S, W, H, dst, SD, W + 4, H, 2, 0.35), dst, SD * (H + 3));
  dst = Bytes(SD * (H + 3), 79);
  Record("Shear.3", Shear(src, S, W, H, dst, SD, W, H + 3, 3, -0.2), dst, SD * (H + 3));
  dst = Bytes(S * H, 80);
  Record("BitmapCopy.checked", BitmapCopy(dst, S, src, S, 4, W, H), dst, S * H);
  return failures ? 1 : 0;
}
