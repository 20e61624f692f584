#include "tools/check/sequence_check.h"

#include <cstdio>

SequenceCheck::SequenceCheck(int64_t first, int64_t expectedFrames)
    : first_(first), expectedFrames_(expectedFrames) {}

bool SequenceCheck::Add(bool readable, int64_t number, double confidence, const std::string& text,
                        SequenceEvent* event) {
  const int64_t frame = frames_++;
  *event =
      SequenceEvent{SequenceEvent::Kind::kUnreadable, frame, number, previous_, confidence, text};
  if (!readable) {
    ++unreadable_;
    return true;
  }
  const bool seenBefore = !seen_.insert(number).second;
  const int64_t expected = havePrevious_ ? previous_ + 1 : first_;
  event->previous = havePrevious_ ? previous_ : first_;
  const bool firstNumber = !havePrevious_;
  havePrevious_ = true;
  previous_ = number;

  if (number == expected) return false;
  if (firstNumber) {
    event->kind = SequenceEvent::Kind::kStart;
  } else if (seenBefore) {
    ++repeated_;
    event->kind = SequenceEvent::Kind::kRepeat;
  } else if (number < expected) {
    ++outOfOrder_;
    event->kind = SequenceEvent::Kind::kOutOfOrder;
  } else if (AllSeen(expected, number)) {
    return false;  // back on course after numbers that came early
  } else {
    event->kind = SequenceEvent::Kind::kSkip;
  }
  return true;
}

bool SequenceCheck::AllSeen(int64_t from, int64_t to) const {
  int64_t next = from;
  for (auto it = seen_.lower_bound(from); it != seen_.end() && *it == next && next < to; ++it) {
    ++next;
  }
  return next == to;
}

SequenceSummary SequenceCheck::Finish() const {
  SequenceSummary s;
  s.framesRead = frames_;
  s.numbersSeen = static_cast<int64_t>(seen_.size());
  s.repeated = repeated_;
  s.outOfOrder = outOfOrder_;
  s.unreadable = unreadable_;
  int64_t last = expectedFrames_ >= 0 ? first_ + expectedFrames_ - 1 : first_ - 1;
  if (expectedFrames_ < 0 && !seen_.empty() && *seen_.rbegin() > last) last = *seen_.rbegin();
  // The gaps between the numbers seen, within the expected range.
  int64_t next = first_;
  for (auto it = seen_.lower_bound(first_); next <= last; ++it) {
    const int64_t stop = it == seen_.end() || *it > last ? last + 1 : *it;
    if (stop > next) {
      s.droppedRanges.emplace_back(next, stop - 1);
      s.dropped += stop - next;
    }
    next = stop + 1;
    if (it == seen_.end()) break;
  }
  return s;
}

namespace {

template <typename... Args>
std::string Printf(const char* fmt, Args... args) {
  char buf[200];
  std::snprintf(buf, sizeof buf, fmt, args...);
  return buf;
}

const char* KindName(SequenceEvent::Kind kind) {
  switch (kind) {
    case SequenceEvent::Kind::kStart:
      return "start";
    case SequenceEvent::Kind::kSkip:
      return "skip";
    case SequenceEvent::Kind::kRepeat:
      return "repeat";
    case SequenceEvent::Kind::kOutOfOrder:
      return "out_of_order";
    case SequenceEvent::Kind::kUnreadable:
      return "unreadable";
  }
  return "";
}

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (char ch : s) {
    if (ch == '"' || ch == '\\') out += '\\';
    out += ch;
  }
  return out + "\"";
}

}  // namespace

std::string SequenceCheck::Describe(const SequenceEvent& e) {
  const long long f = e.frame, n = e.number, p = e.previous;
  switch (e.kind) {
    case SequenceEvent::Kind::kStart:
      return Printf("frame %lld: starts at %lld, not %lld", f, n, p);
    case SequenceEvent::Kind::kSkip:
      return n - p == 2
                 ? Printf("frame %lld: %lld after %lld, skips %lld", f, n, p, p + 1)
                 : Printf("frame %lld: %lld after %lld, skips %lld to %lld", f, n, p, p + 1, n - 1);
    case SequenceEvent::Kind::kRepeat:
      return Printf("frame %lld: %lld again, after %lld", f, n, p);
    case SequenceEvent::Kind::kOutOfOrder:
      return Printf("frame %lld: %lld after %lld, out of order", f, n, p);
    case SequenceEvent::Kind::kUnreadable: {
      char conf[32];
      std::snprintf(conf, sizeof conf, "%.2f", e.confidence);
      return Printf("frame %lld: unreadable", f) + " (read \"" + e.text + "\", confidence " + conf +
             ")";
    }
  }
  return "";
}

std::string SequenceCheck::Describe(const SequenceSummary& s) {
  std::string line =
      Printf("summary: %lld frames read, %lld numbers seen, ", s.framesRead, s.numbersSeen) +
      Printf("%lld dropped, %lld repeated, ", s.dropped, s.repeated) +
      Printf("%lld out of order, %lld unreadable", s.outOfOrder, s.unreadable);
  return line;
}

std::string SequenceCheck::Json(const std::vector<SequenceEvent>& events,
                                const SequenceSummary& s) {
  std::string out = "{\n  \"events\": [";
  for (size_t i = 0; i < events.size(); ++i) {
    const SequenceEvent& e = events[i];
    out += i ? ",\n    " : "\n    ";
    out += "{\"frame\": " + std::to_string(e.frame) + ", \"kind\": \"" + KindName(e.kind) + "\"";
    if (e.kind == SequenceEvent::Kind::kUnreadable) {
      char conf[32];
      std::snprintf(conf, sizeof conf, "%.3f", e.confidence);
      out += ", \"read\": " + JsonString(e.text) + ", \"confidence\": " + conf;
    } else {
      out += ", \"number\": " + std::to_string(e.number) +
             ", \"previous\": " + std::to_string(e.previous);
    }
    out += "}";
  }
  out += events.empty() ? "],\n" : "\n  ],\n";
  out += "  \"dropped_ranges\": [";
  for (size_t i = 0; i < s.droppedRanges.size(); ++i) {
    out += (i ? ", [" : "[") + std::to_string(s.droppedRanges[i].first) + ", " +
           std::to_string(s.droppedRanges[i].second) + "]";
  }
  out += "],\n";
  out += "  \"summary\": {\"frames_read\": " + std::to_string(s.framesRead) +
         ", \"numbers_seen\": " + std::to_string(s.numbersSeen) +
         ", \"dropped\": " + std::to_string(s.dropped) +
         ", \"repeated\": " + std::to_string(s.repeated) +
         ", \"out_of_order\": " + std::to_string(s.outOfOrder) +
         ", \"unreadable\": " + std::to_string(s.unreadable) + "}\n}\n";
  return out;
}
