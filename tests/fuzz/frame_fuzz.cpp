// Fuzz target: floating-point control and the copies.
#include <algorithm>

#include "fuzz_runner.h"
#include "morvex/native.h"
#include "frame/fpu.h"

using namespace morvex;
using namespace morvex::fuzz;

namespace {

void FuzzFpuControl(FuzzInput& in) {
  const std::uint32_t newValue = in.Bool() ? in.U32() : in.U32() & kFpValidBits;
  const std::uint32_t mask = in.U32();
  // No sticky flags: unmasking an exception whose flag is pending would trap
  // at the next x87 instruction, as it does for any host.
  __asm__ volatile("fnclex" : : : "memory");
  WriteMxcsr(ReadMxcsr() & ~0x3Fu);
  const std::uint16_t x87 = ReadX87Control();
  const std::uint32_t csr = ReadMxcsr();
  const std::uint32_t word = FPU_Control(newValue, mask);
  const std::uint16_t x87After = ReadX87Control();
  const std::uint32_t csrAfter = ReadMxcsr();
  // Put the thread back before anything else can trap on an unmasked exception.
  WriteX87Control(x87);
  WriteMxcsr(csr);
  const std::uint32_t a = X87ControlToAbstract(x87After), s = MxcsrControlToAbstract(csrAfter);
  const std::uint32_t expected = (a | s) | (((a ^ s) & kFpAmbiguityBits) ? kFpAmbiguous : 0u);
  RequireSame(word == expected, "FPU_Control's result is not the word in effect");
  RequireSame((x87After & 0x2) == (x87 & 0x2) && (csrAfter & 0x100) == (csr & 0x100),
              "the denormal exception mask changed");
  if (newValue & (mask & ~kFpDenormal) & ~kFpValidBits)
    RequireSame(x87After == x87 && csrAfter == csr, "an invalid bit changed the state");
}

void FuzzBitmapCopy(FuzzInput& in, Output& out) {
  // Only the product elementBytes * width counts, so two negative factors
  // copy too; products the planes cannot afford are paired with no rows.
  const std::int32_t elementBytes = in.Bool() ? in.Range(-4, 16) : in.AnyInt();
  const Extents e = DecodeExtents(in, 40, 12);
  const std::int64_t product = static_cast<std::int64_t>(elementBytes) * e.width;
  const bool affordable = product > 0 && product <= (1 << 16) && e.height <= 12;
  const std::int32_t height = product > 0 && !affordable ? std::min(e.height, 0) : e.height;
  const std::int32_t rows = product > 0 && height > 0 ? height : 0;
  auto dst = MakePlane(in, rows ? product : 0, rows);
  auto src = MakePlane(in, rows ? product : 0, rows);
  out.Result(BitmapCopy(dst->first(), dst->stride(), src->first(), src->stride(), elementBytes,
                        e.width, height));
  out.Plane(*dst);
}

// The byte span a row of `width` elements `step` bytes apart covers, and the
// offset of element 0 inside it.
struct StepSpan {
  std::int64_t bytes, start;
};
StepSpan SpanOf(std::int32_t width, std::int32_t step) {
  if (width <= 0) return {0, 0};
  const std::int64_t last = static_cast<std::int64_t>(width - 1) * step;
  return {(last < 0 ? -last : last) + 1, last < 0 ? -last : 0};
}

void FuzzChannelCopy(FuzzInput& in, Output& out) {
  const std::int32_t dstStep = in.Range(-8, 8), srcStep = in.Range(-8, 8);
  const Extents e = DecodeExtents(in, 40, 12);
  const StepSpan d = SpanOf(e.columns(), dstStep), s = SpanOf(e.columns(), srcStep);
  auto dst = MakePlane(in, d.bytes, e.rows());
  auto src = MakePlane(in, s.bytes, e.rows());
  out.Result(ChannelCopy(dst->first() + d.start, dst->stride(), dstStep, e.width, e.height,
                         src->first() + s.start, src->stride(), srcStep));
  out.Plane(*dst);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t which = data[0];
  ++data;
  --size;
  switch (which % 3) {
    case 0: {
      FuzzInput in(data, size);
      FuzzFpuControl(in);
      break;
    }
    case 1: RunOnEveryPath(data, size, FuzzBitmapCopy); break;
    default: RunOnEveryPath(data, size, FuzzChannelCopy); break;
  }
  return 0;
}
