#include "support/stderr_capture.h"

#include <cstdio>
#include <cstdlib>

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace morvex::test {

#if !defined(_WIN32)
StderrCapture::StderrCapture() {
  std::fflush(stderr);
  FILE* tmp = std::tmpfile();
  if (tmp == nullptr) std::abort();
  fileFd_ = dup(fileno(tmp));
  std::fclose(tmp);
  savedFd_ = dup(STDERR_FILENO);
  dup2(fileFd_, STDERR_FILENO);
  active_ = true;
}

StderrCapture::~StderrCapture() {
  Take();
  close(fileFd_);
  close(savedFd_);
}

std::string StderrCapture::Take() {
  if (active_) {
    std::fflush(stderr);
    dup2(savedFd_, STDERR_FILENO);
    active_ = false;
  }
  std::string text;
  char chunk[512];
  lseek(fileFd_, 0, SEEK_SET);
  for (ssize_t n; (n = read(fileFd_, chunk, sizeof chunk)) > 0;) text.append(chunk, static_cast<std::size_t>(n));
  return text;
}
#endif

}  // namespace morvex::test
