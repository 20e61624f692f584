// Follows the numbers read from a stamped clip, frame by frame, and reports
// where they are not the stamped sequence: jumps, repeats, numbers out of
// order, unreadable frames, and at the end the numbers that never came.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

struct SequenceEvent {
  enum class Kind { kStart, kSkip, kRepeat, kOutOfOrder, kUnreadable };
  Kind kind;
  int64_t frame;
  int64_t number;    // the number read (not for kUnreadable)
  int64_t previous;  // the number before it (kStart: the first expected)
  double confidence;
  std::string text;  // the cells as read
};

struct SequenceSummary {
  int64_t framesRead = 0;
  int64_t numbersSeen = 0;  // distinct numbers read
  int64_t dropped = 0;      // expected numbers never read
  int64_t repeated = 0;
  int64_t outOfOrder = 0;
  int64_t unreadable = 0;
  std::vector<std::pair<int64_t, int64_t>> droppedRanges;  // first and last of each
};

class SequenceCheck {
 public:
  // first: the number the first frame was stamped with; expectedFrames: how
  // many frames were stamped, or -1 when unknown (then up to the largest seen).
  SequenceCheck(int64_t first, int64_t expectedFrames);

  // Feeds the next frame; returns the event it makes, if any.
  bool Add(bool readable, int64_t number, double confidence, const std::string& text,
           SequenceEvent* event);
  SequenceSummary Finish() const;

  static std::string Describe(const SequenceEvent& event);
  static std::string Describe(const SequenceSummary& summary);
  static std::string Json(const std::vector<SequenceEvent>& events, const SequenceSummary& summary);

 private:
  // Whether every number from `from` up to but not including `to` was read.
  bool AllSeen(int64_t from, int64_t to) const;

  int64_t first_;
  int64_t expectedFrames_;
  int64_t frames_ = 0;
  bool havePrevious_ = false;
  int64_t previous_ = 0;
  int64_t repeated_ = 0;
  int64_t outOfOrder_ = 0;
  int64_t unreadable_ = 0;
  std::set<int64_t> seen_;
};

// Exit status of a check: 0 when the numbers are exactly the stamped ones.
inline int CheckExitStatus(const SequenceSummary& s, bool anyEvent) {
  return anyEvent || s.dropped || s.repeated || s.outOfOrder || s.unreadable ? 3 : 0;
}
