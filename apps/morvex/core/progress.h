// A progress line on standard error, for a person at a terminal: what the
// tool is doing and for how long, redrawn in place twice a second, and gone
// when the work ends. Anywhere else (a pipe, a file, a test) it prints nothing.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace morvex::cli {

class Progress {
 public:
  // `enabled` false: every call does nothing (as for a non-terminal).
  Progress(std::string prefix, bool enabled);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // A progress line for `prefix` ("morvex blur") when standard error is a terminal.
  static bool StderrIsTerminal();

  // What is happening now ("reading photo.png", "red channel (2 of 4)").
  void Stage(const std::string& text);
  // Prints a whole line (a message) above the progress line. Works, and
  // prints, whether or not the line is enabled.
  void Message(const std::string& line);
  double Seconds() const;
  bool enabled() const { return enabled_; }

 private:
  void DrawLocked();
  void ClearLocked();

  std::string prefix_, stage_;
  bool enabled_;
  bool drawn_ = false, stopping_ = false;
  std::chrono::steady_clock::time_point start_;
  mutable std::mutex lock_;
  std::condition_variable wake_;
  std::thread ticker_;
};

// A Progress that never prints, for work whose progress is shown elsewhere.
class SilentProgress : public Progress {
 public:
  SilentProgress() : Progress("", false) {}
};

}  // namespace morvex::cli
