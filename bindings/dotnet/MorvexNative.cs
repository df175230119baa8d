// P/Invoke declarations for Morvex.Native.dll, the library's Windows build,
// 32-bit (x86) and 64-bit (x64) alike. Every export is a C function over
// memory the host owns: pass pinned pointers (fixed, GCHandle, NativeMemory)
// with their row strides in bytes. The declarations hold for both bitnesses:
// every argument is a fixed-size integer, float or double, or a pointer, and
// the calling convention is cdecl on x86 and the one x64 convention there
// (which ignores the Cdecl setting). A process loads the DLL of its own
// bitness under the one name below; an AnyCPU host ships both, in
// runtimes/win-x86/native/ and runtimes/win-x64/native/ (docs/windows.md).
//
// One-byte results are declared as `byte` (1 = done or nothing to do, 0 =
// refused). Never declare them as a plain `bool`: the marshaller's default
// for bool is the 4-byte Win32 BOOL, which reads the three upper bytes of EAX
// as well; the library only sets the low byte, so a refusal can come back as
// true. `[return: MarshalAs(UnmanagedType.U1)] bool` is the correct
// alternative. The same holds for the one-byte flags passed in (`alsoAlpha`,
// `singleChannel`): they travel in a 32-bit slot and only the low byte counts.
using System;
using System.Runtime.InteropServices;

namespace Morvex
{
    public static unsafe class MorvexNative
    {
        public const string Library = "Morvex.Native.dll";

        // ---- Floating-point control (abstract control/status word encoding) ----
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern uint FPU_Control(uint newValue, uint mask);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern uint FPU_Status();

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern void FPU_Reset();

        // ---- Copies and channel routing ----
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte BitmapCopy(byte* dst, int dstStride, byte* src, int srcStride,
                                             int elementBytes, int width, int height);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte ChannelCopy(byte* dst, int dstStride, int dstStep, int width, int height,
                                              byte* src, int srcStride, int srcStep);

        // ---- Lookup tables (each table is 256 entries of 4 bytes) ----
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte Lut(byte* image, int stride, int width, int height, byte* channelLut);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte LutWithAlphaClamp(byte* image, int stride, int width, int height,
                                                    byte* channelLut);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte ChannelMap(byte* image, int stride, int channel, int width, int height,
                                             uint* pixelLut);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte ChannelMapEx(byte* dst, int dstStride, byte* src, int srcStride, int channel,
                                               int width, int height, uint* pixelLut);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte ChannelMergeLut(byte* image, int stride, int channelCount, int width,
                                                  int height, uint* pixelLut);

        // ---- Format conversions ----
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte ConvertARGBToARGBFloat(float* dst, int dstStride, byte* src, int srcStride,
                                                         int width, int height);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte ConvertARGBFloatToARGB(byte* dst, int dstStride, float* src, int srcStride,
                                                         int width, int height);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte ConvertChannelToFloatMask(float* dst, int dstStride, byte* src, int srcStride,
                                                            int channel, int width, int height,
                                                            float* floatLut);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte ConvertFloatMaskToARGB(byte* dst, int dstStride, float* src, int srcStride,
                                                         int width, int height);

        // ---- Blending and compositing ----
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte Blend(byte* dst, int dstStride, byte* src, int srcStride, int width, int height,
                                        double dstWeight);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte MaskedBlend(byte* dst, int dstStride, byte* mask, int maskStride, byte* src,
                                              int srcStride, int width, int height, byte* weightLut);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte MaskedFade(byte* dst, int dstStride, byte* mask, int maskStride, byte* src,
                                             int srcStride, int width, int height);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte Composite(byte* dst, int dstStride, byte* src, int srcStride, int width,
                                            int height, int mode, double opacity);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte Multiply(byte* dst, int dstStride, int width, int height, double factor);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte MultiplyChannel(byte* dst, int dstStride, int dstChannel, byte* mask,
                                                  int maskStride, int maskChannel, int width, int height,
                                                  double scale, double offset);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte MaskMultiply(byte* dst, int dstStride, byte* mask, int maskStride, int width,
                                               int height, int maskChannel, double scale, double offset);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte ClipRestore(float* dst, int dstStride, int width, int height, double clipLevel,
                                              double restoreMin);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte FocusPrep(float* dst, int dstStride, int width, int height, double clipLevel,
                                            double restoreMin);

        // ---- Tone ----
        // alsoAlpha: only the low byte of the 32-bit slot is tested.
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte Desaturate(byte* image, int stride, int width, int height, uint alsoAlpha);

        // Returns the largest of the 1024 counts (a 32-bit integer, not a one-byte result).
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern int Histogram(byte* image, int stride, int width, int height, int* redCounts,
                                           int* greenCounts, int* blueCounts, int* lumaCounts);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte HslScaleOffset(byte* image, int stride, int width, int height, double hueScale,
                                                 double saturationScale, double lightnessScale,
                                                 double hueOffset, double saturationOffset,
                                                 double lightnessOffset);

        // ---- Gaussian blur (temp: width * height * 16 bytes; sigma arrays may be null) ----
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte GaussianBlur(byte* pixels, int stride, int format, int width, int height,
                                               float* temp, int tempBytes, double sigmaHorizontal,
                                               double sigmaVertical, double* rowSigmas, double* columnSigmas);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte GaussianBlurMask(byte* mask, int stride, int format, int width, int height,
                                                   float* temp, int tempBytes, double sigmaHorizontal,
                                                   double sigmaVertical, double outputScale,
                                                   double outputOffset, double* rowSigmas,
                                                   double* columnSigmas);

        // ---- Local and radial filters ----
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte Blur3x3(byte* dst, int dstStride, byte* src, int srcStride, int width,
                                          int height);

        // singleChannel: only the low byte of the 32-bit slot is tested.
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte EdgeDetect(byte* dst, int dstStride, byte* src, int srcStride, int width,
                                             int height, uint singleChannel, double threshold);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte RadialBlurMask(byte* dst, int dstStride, int dstStep, byte* src, int srcStride,
                                                 int srcStep, int width, int height, double centerX,
                                                 double centerY, double scaleX, double scaleY, double gain);

        // ---- Masks and geometry (real-valued arguments here are 32-bit floats) ----
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte GenerateNoiseMask(float* dst, int dstStride, int width, int height, float low,
                                                    float high, uint seed);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte MultiplyMasks(float* dst, int dstStride, float* src, int srcStride, int width,
                                                int height);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte ScaleMask(float* dst, int dstStride, int dstWidth, int dstHeight,
                                            float dstRectX, float dstRectY, float dstRectWidth,
                                            float dstRectHeight, float* src, int srcStride, int srcWidth,
                                            int srcHeight, float srcRectX, float srcRectY, float srcRectWidth,
                                            float srcRectHeight, int mode, float amount);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        public static extern byte Shear(byte* src, int srcStride, int srcWidth, int srcHeight, byte* dst,
                                        int dstStride, int dstWidth, int dstHeight, uint direction,
                                        double factor);

        // The alternative spelling of a one-byte result, for hosts that prefer bool.
        [DllImport(Library, EntryPoint = "BitmapCopy", CallingConvention = CallingConvention.Cdecl,
                   ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool BitmapCopyChecked(byte* dst, int dstStride, byte* src, int srcStride,
                                                    int elementBytes, int width, int height);
    }
}
