// The progress line on a terminal's standard error: frames done of the
// total and frames per second, redrawn a few times a second.
#pragma once

#include <chrono>

class Progress {
 public:
  // Shows nothing unless enabled and standard error is a terminal.
  Progress(int total, bool enabled);
  ~Progress();

  void Done(int frames);
  // Ends the line, so that what follows on standard error starts afresh.
  void Finish();

 private:
  void Draw(int frames);

  using Clock = std::chrono::steady_clock;
  int total_;
  bool shown_;
  bool drawn_ = false;
  Clock::time_point start_;
  Clock::time_point nextDraw_;
};
