// Captures what the library writes to standard error during a scope.
#pragma once

#include <string>

namespace morvex::test {

class StderrCapture {
 public:
  StderrCapture();
  ~StderrCapture();
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;
  // Stops capturing (if still capturing) and returns everything written.
  std::string Take();

 private:
  int savedFd_ = -1;
  int fileFd_ = -1;
  bool active_ = false;
};

}  // namespace morvex::test
