#include <gtest/gtest.h>

#include "frame/diagnostics.h"
#include "support/stderr_capture.h"

namespace morvex {
namespace {

TEST(Diagnostics, WritesTheMessageAndOneNewlineOnce) {
  test::StderrCapture capture;
  WriteDiagnostic("GaussianBlur: we need a bigger temporary buffer");
  EXPECT_EQ(capture.Take(), "GaussianBlur: we need a bigger temporary buffer\n");
}

TEST(Diagnostics, EachCallIsOneLine) {
  test::StderrCapture capture;
  WriteDiagnostic("ChannelMap: invalid channel value");
  WriteDiagnostic("no support for cpuid");
  EXPECT_EQ(capture.Take(), "ChannelMap: invalid channel value\nno support for cpuid\n");
}

#if defined(_WIN32)
TEST(Diagnostics, GoToTheDebuggerOutputAsTheBareMessage) {
  test::StderrCapture capture;
  WriteDiagnostic("GaussianBlurMask: unimplemented or unknown format");
  WriteDiagnostic("no support for cpuid");
  EXPECT_EQ(capture.messages(), (std::vector<std::string>{
                                    "GaussianBlurMask: unimplemented or unknown format",
                                    "no support for cpuid"}));
}
#endif

}  // namespace
}  // namespace morvex
