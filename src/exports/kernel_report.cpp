#include "exports/kernel_report.h"

#include "blend/blend.h"
#include "blend/clip.h"
#include "blend/composite.h"
#include "blend/multiply.h"
#include "blur/gaussian.h"
#include "filters/blur3x3.h"
#include "filters/edge_detect.h"
#include "filters/radial_blur.h"
#include "mask/multiply.h"
#include "mask/noise.h"
#include "mask/scale.h"
#include "mask/shear.h"
#include "pixel/conversion.h"
#include "pixel/copy.h"
#include "pixel/lut.h"
#include "tone/desaturate.h"
#include "tone/histogram.h"
#include "tone/hsl.h"

namespace morvex::exports {
namespace {

constexpr ExportKernels kExportKernels[] = {
    {"BitmapCopy", {}},
    {"Blend", {&blend::kBlendKernelTable}},
    {"Blur3x3", {&filters::kBlur3x3KernelTable}},
    {"ChannelCopy", {&pixel::kChannelCopyKernelTable}},
    {"ChannelMap", {&pixel::kChannelMapKernelTable}},
    {"ChannelMapEx", {&pixel::kChannelMapKernelTable}},
    {"ChannelMergeLut", {&pixel::kChannelMergeKernelTable}},
    {"ClipRestore", {&blend::kClipKernelTable}},
    {"Composite", {&blend::kCompositeKernelTable}},
    {"ConvertARGBFloatToARGB", {&pixel::kArgbFloatToArgbKernelTable}},
    {"ConvertARGBToARGBFloat", {&pixel::kArgbToArgbFloatKernelTable}},
    {"ConvertChannelToFloatMask", {&pixel::kChannelMapKernelTable}},
    {"ConvertFloatMaskToARGB", {&pixel::kFloatMaskToArgbKernelTable}},
    {"Desaturate", {&tone::kDesaturateKernelTable}},
    {"EdgeDetect", {&filters::kEdgeKernelTable}},
    {"FPU_Control", {}},
    {"FPU_Reset", {}},
    {"FPU_Status", {}},
    {"FocusPrep", {&blend::kClipKernelTable}},
    {"GaussianBlur", {&blur::kImageSingleKernelTable, &blur::kImageDoubleKernelTable}},
    {"GaussianBlurMask", {&blur::kMaskKernelTable}},
    {"GenerateNoiseMask", {&mask::kNoiseKernelTable}},
    {"Histogram", {&tone::kHistogramKernelTable}},
    {"HslScaleOffset", {&tone::kHslKernelTable}},
    {"Lut", {&pixel::kLutKernelTable}},
    {"LutWithAlphaClamp", {&pixel::kLutWithAlphaClampKernelTable}},
    {"MaskMultiply", {&blend::kMultiplyKernelTable}},
    {"MaskedBlend", {&blend::kBlendKernelTable}},
    {"MaskedFade", {&blend::kBlendKernelTable}},
    {"Multiply", {&blend::kMultiplyKernelTable}},
    {"MultiplyChannel", {&blend::kMultiplyKernelTable}},
    {"MultiplyMasks", {&mask::kMultiplyMaskKernelTable}},
    {"RadialBlurMask", {&filters::kRadialKernelTable}},
    {"ScaleMask", {&mask::kScaleKernelTable}},
    {"Shear", {&mask::kShearKernelTable}},
};

}  // namespace

const ExportKernels* ExportKernelTables() { return kExportKernels; }
std::size_t ExportKernelTableCount() { return sizeof kExportKernels / sizeof kExportKernels[0]; }

}  // namespace morvex::exports
