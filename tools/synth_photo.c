/* A deterministic, photograph-like test image for the PNG benchmark: a sky
 * gradient, hills of fractal value noise (smooth at large scales, textured at
 * small ones), hard-edged buildings with lit windows, a soft sun, sensor noise
 * and a vignette. Opaque 8-bit RGB, written with libpng's default settings.
 *
 *   cc -O2 tools/synth_photo.c -o synth_photo -lpng -lm
 *   ./synth_photo OUT.png [WIDTH HEIGHT [SEED]]     (default 4000 3000 1)
 */
#include <math.h>
#include <png.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

static uint32_t seed_base = 1;

static uint32_t Hash(uint32_t x, uint32_t y, uint32_t k) {
  uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ k * 0xcb1ab31fu ^ seed_base * 0x9e3779b9u;
  h ^= h >> 16;
  h *= 0x7feb352du;
  h ^= h >> 15;
  h *= 0x846ca68bu;
  h ^= h >> 16;
  return h;
}

static double Unit(uint32_t h) { return (h >> 8) * (1.0 / 16777216.0); }

/* Smoothly interpolated lattice noise in 0..1 with cell size `cell`. */
static double ValueNoise(double x, double y, double cell, uint32_t k) {
  const double fx = x / cell, fy = y / cell;
  const int ix = (int)floor(fx), iy = (int)floor(fy);
  double tx = fx - ix, ty = fy - iy;
  tx = tx * tx * (3 - 2 * tx);
  ty = ty * ty * (3 - 2 * ty);
  const double a = Unit(Hash(ix, iy, k)), b = Unit(Hash(ix + 1, iy, k));
  const double c = Unit(Hash(ix, iy + 1, k)), d = Unit(Hash(ix + 1, iy + 1, k));
  return (a + (b - a) * tx) * (1 - ty) + (c + (d - c) * tx) * ty;
}

/* Octaves from `cell` down to 2 pixels, each half the weight of the last. */
static double Fractal(double x, double y, double cell, uint32_t k) {
  double sum = 0, weight = 0.5, total = 0;
  for (; cell >= 2; cell /= 2, weight *= 0.5, ++k) {
    sum += weight * ValueNoise(x, y, cell, k);
    total += weight;
  }
  return sum / total;
}

static double Clamp01(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s OUT.png [WIDTH HEIGHT [SEED]]\n", argv[0]);
    return 2;
  }
  const int w = argc > 3 ? atoi(argv[2]) : 4000, h = argc > 3 ? atoi(argv[3]) : 3000;
  if (argc > 4) seed_base = (uint32_t)strtoul(argv[4], NULL, 10);
  if (w < 16 || h < 16) return 2;
  const double s = w / 4000.0; /* features scale with the image */
  unsigned char* rgb = malloc((size_t)w * h * 3);
  if (!rgb) return 1;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      double r, g, b;
      /* Horizon: a ridge line of large-scale noise. */
      const double ridge = h * (0.45 + 0.18 * (Fractal(x, 0, 900 * s, 10) - 0.5) * 2);
      if (y < ridge) {
        const double t = (double)y / h;
        const double cloud = Clamp01((Fractal(x, y * 2.5, 700 * s, 20) - 0.45) * 3);
        r = 0.35 + 0.45 * t + 0.5 * cloud;
        g = 0.55 + 0.30 * t + 0.4 * cloud;
        b = 0.92 - 0.10 * t + 0.1 * cloud;
        const double dx = x - 0.72 * w, dy = y - 0.18 * h, sun = 140 * s;
        const double glow = exp(-(dx * dx + dy * dy) / (2 * sun * sun));
        r += glow * 0.6, g += glow * 0.5, b += glow * 0.2;
      } else {
        const double t = (y - ridge) / (h - ridge + 1);
        const double f = Fractal(x, y, 256 * s, 40), leaf = Fractal(x, y, 16 * s, 60);
        r = 0.20 + 0.35 * f + 0.25 * leaf * t;
        g = 0.30 + 0.40 * f + 0.15 * leaf - 0.1 * t;
        b = 0.12 + 0.15 * f;
        /* A path of sand across the foreground. */
        const double path = fabs(x - w * (0.5 + 0.15 * sin(y * 0.004 / s))) / (w * 0.05 * (0.3 + t));
        if (path < 1) {
          const double m = path > 0.9 ? (1 - path) * 10 : 1;
          r += m * (0.75 + 0.2 * leaf - r), g += m * (0.65 + 0.2 * leaf - g),
              b += m * (0.45 + 0.2 * leaf - b);
        }
      }
      /* Buildings: hard-edged blocks on the horizon, with lit windows. */
      for (int i = 0; i < 9; ++i) {
        const int bx = (int)(w * (0.05 + 0.1 * i + 0.03 * Unit(Hash(i, 0, 70))));
        const int bw = (int)(w * (0.04 + 0.03 * Unit(Hash(i, 1, 70))));
        const int top = (int)(h * (0.25 + 0.15 * Unit(Hash(i, 2, 70))));
        const int base = (int)(h * 0.62);
        if (x >= bx && x < bx + bw && y >= top && y < base) {
          const double shade = 0.25 + 0.4 * Unit(Hash(i, 3, 70));
          r = shade, g = shade * 0.95, b = shade * 0.9;
          const int wx = (x - bx) % (int)(40 * s + 1), wy = (y - top) % (int)(60 * s + 1);
          if (wx > 10 * s && wy > 15 * s && Hash((x - bx) / (int)(40 * s + 1), (y - top) / (int)(60 * s + 1), i) % 3 == 0)
            r = 0.95, g = 0.85, b = 0.55;
        }
      }
      /* Vignette and sensor noise (about 1.5 levels). */
      const double vx = (x - w / 2.0) / w, vy = (y - h / 2.0) / h;
      const double vig = 1 - 0.6 * (vx * vx + vy * vy);
      double c[3] = {r * vig, g * vig, b * vig};
      for (int k = 0; k < 3; ++k) {
        const uint32_t n = Hash(x, y, 100 + k);
        const double noise = ((n & 255) + (n >> 8 & 255) + (n >> 16 & 255)) / 765.0 - 0.5;
        const double v = Clamp01(c[k]) * 255 + noise * 16;
        rgb[((size_t)y * w + x) * 3 + k] = (unsigned char)(v < 0 ? 0 : v > 255 ? 255 : v + 0.5);
      }
    }
  }
  FILE* file = fopen(argv[1], "wb");
  if (!file) return 1;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, NULL, NULL, NULL);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) return 1;
  png_init_io(png, file);
  png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < h; ++y) png_write_row(png, rgb + (size_t)y * w * 3);
  png_write_end(png, NULL);
  png_destroy_write_struct(&png, &info);
  fclose(file);
  free(rgb);
  return 0;
}
