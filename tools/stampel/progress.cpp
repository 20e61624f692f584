#include "tools/stampel/progress.h"

#include <cstdio>

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

namespace {

constexpr auto kInterval = std::chrono::milliseconds(250);

}  // namespace

Progress::Progress(int total, bool enabled)
    : total_(total), shown_(enabled && isatty(2)), start_(Clock::now()), nextDraw_(start_) {}

Progress::~Progress() {
  Finish();
}

void Progress::Done(int frames) {
  if (!shown_) return;
  const Clock::time_point now = Clock::now();
  if (now < nextDraw_ && frames != total_) return;
  nextDraw_ = now + kInterval;
  Draw(frames);
}

void Progress::Draw(int frames) {
  const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
  const double fps = seconds > 0 ? frames / seconds : 0.0;
  std::fprintf(stderr, "\rstampel: %d/%d frames, %.1f fps ", frames, total_, fps);
  std::fflush(stderr);
  drawn_ = true;
}

void Progress::Finish() {
  if (!shown_) return;
  if (drawn_) std::fputc('\n', stderr);
  std::fflush(stderr);
  shown_ = false;
}
