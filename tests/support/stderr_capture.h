// Captures the library's diagnostic lines during a scope: what it writes to
// standard error, or on Windows what it passes to OutputDebugStringA.
#pragma once

#include <string>
#include <vector>

namespace morvex::test {

class StderrCapture {
 public:
  StderrCapture();
  ~StderrCapture();
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;
  // Stops capturing (if still capturing) and returns everything written. On
  // Windows each debugger message is returned followed by a newline, so the
  // text reads the same as the standard-error lines of other platforms.
  std::string Take();

#if defined(_WIN32)
  // The debugger messages exactly as the library passed them.
  const std::vector<std::string>& messages() const { return messages_; }
#endif

 private:
#if defined(_WIN32)
  void Stop();
  static long __stdcall OnException(void* pointers);
  void* handler_ = nullptr;
  std::vector<std::string> messages_;
#else
  int savedFd_ = -1;
  int fileFd_ = -1;
#endif
  bool active_ = false;
};

}  // namespace morvex::test
