#include "tools/stampel/y4m.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "tools/stampel/failure.h"

namespace {

constexpr std::string_view kSignature = "YUV4MPEG2";
constexpr std::string_view kFrameTag = "FRAME";
// Longest header or FRAME line taken, so that garbage cannot grow a line
// without bound.
constexpr size_t kMaxLine = 4096;

// A positive decimal number, digits only.
bool ParseCount(std::string_view text, long long* value) {
  if (text.empty() || text.size() > 12) return false;
  long long v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *value = v;
  return true;
}

// Chroma tags stamped as I420 and the one stamped as YUY2.
bool LayoutOfChroma(std::string_view tag, FileLayout* layout) {
  if (tag == "420" || tag == "420jpeg" || tag == "420mpeg2" || tag == "420paldv") {
    *layout = FileLayout::kI420;
    return true;
  }
  if (tag == "422") {
    *layout = FileLayout::kPlanar422;
    return true;
  }
  return false;
}

}  // namespace

Y4mReader::Y4mReader(InStream& in) : in_(in) {
  char signature[kSignature.size()];
  const size_t got = in_.Read(signature, sizeof signature);
  if (got == 0) Fail(in_.Name() + " is empty");
  if (got < sizeof signature || std::string_view(signature, got) != kSignature) {
    UsageFail(in_.Name() +
              " is not YUV4MPEG2; for raw video give --format and --size (see --help)");
  }
  header_.assign(signature, sizeof signature);
  for (;;) {
    char c;
    if (in_.Read(&c, 1) == 0) Fail(in_.Name() + ": the YUV4MPEG2 header is cut short");
    if (c == '\n') break;
    if (header_.size() == kMaxLine) Fail(in_.Name() + ": the YUV4MPEG2 header is too long");
    header_ += c;
  }
  if (header_.size() > kSignature.size() && header_[kSignature.size()] != ' ') {
    UsageFail(in_.Name() +
              " is not YUV4MPEG2; for raw video give --format and --size (see --help)");
  }

  long long width = -1;
  long long height = -1;
  FileLayout layout = FileLayout::kI420;  // no C tag: 4:2:0
  const std::string_view params = std::string_view(header_).substr(kSignature.size());
  size_t at = 0;
  while (at < params.size()) {
    const size_t end = std::min(params.find(' ', at), params.size());
    const std::string_view token = params.substr(at, end - at);
    at = end + 1;
    if (token.empty()) continue;
    const std::string_view value = token.substr(1);
    switch (token[0]) {
      case 'W':
        if (!ParseCount(value, &width)) {
          Fail(in_.Name() + ": bad YUV4MPEG2 width '" + std::string(token) + "'");
        }
        break;
      case 'H':
        if (!ParseCount(value, &height)) {
          Fail(in_.Name() + ": bad YUV4MPEG2 height '" + std::string(token) + "'");
        }
        break;
      case 'C':
        if (!LayoutOfChroma(value, &layout)) {
          Fail(in_.Name() + ": YUV4MPEG2 chroma '" + std::string(token) +
               "' is not supported (C420, C420jpeg, C420mpeg2, C420paldv or C422)");
        }
        break;
      case 'F': {
        const size_t colon = value.find(':');
        long long num = 0;
        long long den = 0;
        if (colon == std::string_view::npos || !ParseCount(value.substr(0, colon), &num) ||
            !ParseCount(value.substr(colon + 1), &den) || num <= 0 || den <= 0 ||
            num > 0xFFFFFFFF || den > 0xFFFFFFFF) {
          Fail(in_.Name() + ": bad YUV4MPEG2 frame rate '" + std::string(token) + "'");
        }
        fpsNumerator_ = static_cast<unsigned>(num);
        fpsDenominator_ = static_cast<unsigned>(den);
        break;
      }
      case 'A': {  // pixel aspect, 0:0 when unknown
        const size_t colon = value.find(':');
        long long num = 0;
        long long den = 0;
        if (colon == std::string_view::npos || !ParseCount(value.substr(0, colon), &num) ||
            !ParseCount(value.substr(colon + 1), &den)) {
          Fail(in_.Name() + ": bad YUV4MPEG2 aspect ratio '" + std::string(token) + "'");
        }
        break;
      }
      case 'I':
        if (value.size() != 1 ||
            std::string_view("ptbm?").find(value[0]) == std::string_view::npos) {
          Fail(in_.Name() + ": bad YUV4MPEG2 interlacing '" + std::string(token) + "'");
        }
        break;
      case 'X':  // extensions, passed on as they are
        break;
      default:
        Fail(in_.Name() + ": unknown YUV4MPEG2 header token '" + std::string(token) + "'");
    }
  }
  if (width < 0) Fail(in_.Name() + ": the YUV4MPEG2 header has no width (W)");
  if (height < 0) Fail(in_.Name() + ": the YUV4MPEG2 header has no height (H)");
  try {
    picture_ = MakePicture(layout, width, height, kExitFailure);
  } catch (const Failure& failure) {
    Fail(in_.Name() + ": " + failure.what());
  }
  io_ = PictureIo(picture_);
}

int64_t Y4mReader::CountFrames() {
  if (!in_.IsFile()) return -1;
  int64_t at = static_cast<int64_t>(header_.size()) + 1;
  int64_t frames = 0;
  char line[64];
  while (at < in_.Size() && frames <= INT32_MAX) {
    ++frames;
    const size_t got = in_.ReadAt(at, line, sizeof line);
    if (got < kFrameTag.size() || std::string_view(line, kFrameTag.size()) != kFrameTag) break;
    // The line's end, in the few bytes read or further on.
    const void* newline = std::memchr(line, '\n', got);
    int64_t lineBytes = newline ? static_cast<const char*>(newline) - line + 1 : 0;
    for (int64_t scan = at + static_cast<int64_t>(got); !lineBytes && scan - at < int64_t{kMaxLine};
         scan += static_cast<int64_t>(sizeof line)) {
      const size_t more = in_.ReadAt(scan, line, sizeof line);
      if (more == 0) break;
      newline = std::memchr(line, '\n', more);
      if (newline) lineBytes = scan - at + (static_cast<const char*>(newline) - line) + 1;
    }
    if (!lineBytes) break;
    at += lineBytes + static_cast<int64_t>(picture_.frameBytes);
  }
  return frames;
}

bool Y4mReader::ReadFrameLine(int n) {
  const std::string where = in_.Name() + ": frame " + std::to_string(n);
  char start[kFrameTag.size() + 1];
  const size_t got = in_.Read(start, sizeof start);
  if (got == 0) return false;
  const size_t tag = std::min(got, kFrameTag.size());
  if (std::string_view(start, tag) != kFrameTag.substr(0, tag)) {
    Fail(where + " has no FRAME header");
  }
  if (got < sizeof start) Fail(where + " is cut short");
  frameLine_.assign(start, kFrameTag.size());
  char c = start[kFrameTag.size()];
  if (c != '\n' && c != ' ') Fail(where + " has no FRAME header");
  while (c != '\n') {
    if (frameLine_.size() == kMaxLine) Fail(where + ": its FRAME header is too long");
    frameLine_ += c;
    if (in_.Read(&c, 1) == 0) Fail(where + " is cut short");
  }
  return true;
}

PVideoFrame Y4mReader::Next(int n, FramePool& pool) {
  if (!ReadFrameLine(n)) return PVideoFrame();
  if (PVideoFrame mapped = io_.Map(in_, pool)) return mapped;
  PVideoFrame frame = pool.New(ShapeOf(VideoInfoOf(picture_, 0, 1, 1)));
  const size_t got = io_.Read(in_, *frame.get());
  if (got < picture_.frameBytes) {
    Fail(in_.Name() + ": frame " + std::to_string(n) + " is cut short (" + std::to_string(got) +
         " of " + std::to_string(picture_.frameBytes) + " bytes)");
  }
  return frame;
}

bool Y4mReader::MoreFollows() {
  char byte;
  return in_.Read(&byte, 1) == 1;
}

void Y4mWriter::Begin() {
  line_ = source_.HeaderLine() + "\n";
  out_.Write(line_.data(), line_.size());
}

void Y4mWriter::Write(const VideoFrame& frame) {
  line_ = source_.FrameLine() + "\n";
  io_.Write(out_, frame, Span{reinterpret_cast<uint8_t*>(line_.data()), line_.size()});
}
