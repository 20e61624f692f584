#include "tools/stampel/stream.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tools/stampel/failure.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <limits.h>
#include <sys/uio.h>
#include <unistd.h>
#endif

namespace {

#if defined(_WIN32)
using StatRecord = struct _stati64;
int Fstat(int fd, StatRecord* st) {
  return _fstati64(fd, st);
}
int OpenIn(const std::string& path) {
  return _open(path.c_str(), _O_RDONLY | _O_BINARY);
}
int OpenOut(const std::string& path) {
  return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}
// The C runtime moves at most an unsigned int per call; stay well inside it.
constexpr size_t kMaxChunk = size_t{1} << 30;
long long ReadSome(int fd, void* data, size_t size) {
  return _read(fd, data, static_cast<unsigned>(std::min(size, kMaxChunk)));
}
long long WriteSome(int fd, const void* data, size_t size) {
  return _write(fd, data, static_cast<unsigned>(std::min(size, kMaxChunk)));
}
void CloseFd(int fd) {
  _close(fd);
}
#else
using StatRecord = struct stat;
int Fstat(int fd, StatRecord* st) {
  return fstat(fd, st);
}
int OpenIn(const std::string& path) {
  return open(path.c_str(), O_RDONLY | O_CLOEXEC);
}
int OpenOut(const std::string& path) {
  return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}
long long ReadSome(int fd, void* data, size_t size) {
  ssize_t got;
  do got = read(fd, data, size);
  while (got < 0 && errno == EINTR);
  return got;
}
long long WriteSome(int fd, const void* data, size_t size) {
  ssize_t put;
  do put = write(fd, data, size);
  while (put < 0 && errno == EINTR);
  return put;
}
void CloseFd(int fd) {
  close(fd);
}

// Turns spans into an I/O vector, at most IOV_MAX entries per call.
template <typename Call>
size_t Vectored(const std::vector<Span>& spans, Call call) {
  std::vector<iovec> vec(spans.size());
  for (size_t i = 0; i < spans.size(); ++i) vec[i] = iovec{spans[i].data, spans[i].size};
  size_t done = 0;
  size_t first = 0;
  while (first < vec.size()) {
    if (vec[first].iov_len == 0) {
      ++first;
      continue;
    }
    const int count = static_cast<int>(std::min<size_t>(vec.size() - first, IOV_MAX));
    ssize_t moved;
    do moved = call(vec.data() + first, count);
    while (moved < 0 && errno == EINTR);
    if (moved <= 0) return moved < 0 ? static_cast<size_t>(-1) : done;
    done += static_cast<size_t>(moved);
    auto left = static_cast<size_t>(moved);
    while (left > 0 && left >= vec[first].iov_len) left -= vec[first++].iov_len;
    if (left > 0) {
      vec[first].iov_base = static_cast<uint8_t*>(vec[first].iov_base) + left;
      vec[first].iov_len -= left;
    }
  }
  return done;
}
#endif

std::string Describe(const std::string& path) {
  return path == "-" ? "standard input" : path;
}

bool IsTerminal(int fd) {
#if defined(_WIN32)
  return _isatty(fd) != 0;
#else
  return isatty(fd) != 0;
#endif
}

// A pipe's default buffer holds a small part of a frame; a larger one saves
// the two processes most of their turns at it. Best effort.
void WidenPipe(int fd) {
#if defined(F_SETPIPE_SZ)
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode)) fcntl(fd, F_SETPIPE_SZ, 1 << 20);
#else
  (void)fd;
#endif
}

}  // namespace

InStream::InStream(int fd, std::string name, bool owned)
    : fd_(fd), name_(std::move(name)), owned_(owned) {
  StatRecord st;
  if (Fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) {
    isFile_ = true;
    size_ = static_cast<int64_t>(st.st_size);
  }
}

InStream::~InStream() {
  if (owned_) CloseFd(fd_);
}

std::unique_ptr<InStream> InStream::Open(const std::string& path) {
  if (path == "-") {
#if defined(_WIN32)
    _setmode(0, _O_BINARY);
#endif
    if (IsTerminal(0)) {
      UsageFail("standard input is a terminal: give INPUT or pipe video in (see --help)");
    }
    WidenPipe(0);
    return std::unique_ptr<InStream>(new InStream(0, Describe(path), false));
  }
  const int fd = OpenIn(path);
  if (fd < 0) Fail("cannot open " + path + ": " + std::strerror(errno));
  auto stream = std::unique_ptr<InStream>(new InStream(fd, path, true));
  StatRecord st;
  if (Fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) Fail(path + " is a directory");
  return stream;
}

size_t InStream::Read(void* data, size_t size) {
  auto* at = static_cast<uint8_t*>(data);
  size_t done = 0;
  while (done < size) {
    const long long got = ReadSome(fd_, at + done, size - done);
    if (got < 0) Fail("cannot read " + name_ + ": " + std::strerror(errno));
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

size_t InStream::ReadSpans(const std::vector<Span>& spans) {
#if defined(_WIN32)
  size_t done = 0;
  for (const Span& span : spans) {
    const size_t got = Read(span.data, span.size);
    done += got;
    if (got < span.size) break;
  }
  return done;
#else
  const size_t done =
      Vectored(spans, [this](const iovec* vec, int count) { return readv(fd_, vec, count); });
  if (done == static_cast<size_t>(-1)) Fail("cannot read " + name_ + ": " + std::strerror(errno));
  return done;
#endif
}

size_t InStream::ReadAt(int64_t offset, void* data, size_t size) {
#if defined(_WIN32)
  const long long here = _lseeki64(fd_, 0, SEEK_CUR);
  if (here < 0 || _lseeki64(fd_, offset, SEEK_SET) < 0) {
    Fail("cannot seek in " + name_ + ": " + std::strerror(errno));
  }
  const size_t got = Read(data, size);
  _lseeki64(fd_, here, SEEK_SET);
  return got;
#else
  auto* at = static_cast<uint8_t*>(data);
  size_t done = 0;
  while (done < size) {
    ssize_t got;
    do got = pread(fd_, at + done, size - done, static_cast<off_t>(offset + done));
    while (got < 0 && errno == EINTR);
    if (got < 0) Fail("cannot read " + name_ + ": " + std::strerror(errno));
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
#endif
}

std::unique_ptr<OutStream> OutStream::Open(const std::string& path, const InStream& input) {
  if (path == "-") {
#if defined(_WIN32)
    _setmode(1, _O_BINARY);
#endif
    if (IsTerminal(1)) {
      UsageFail("standard output is a terminal: give OUTPUT or pipe the video on");
    }
    WidenPipe(1);
    return std::unique_ptr<OutStream>(new OutStream(1, "standard output", false));
  }
#if !defined(_WIN32)
  // Truncating the input before reading it would lose it.
  struct stat in;
  struct stat out;
  if (input.IsFile() && fstat(input.Descriptor(), &in) == 0 && stat(path.c_str(), &out) == 0 &&
      in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
    Fail(path + " is the input; give another output");
  }
#else
  (void)input;
#endif
  const int fd = OpenOut(path);
  if (fd < 0) Fail("cannot create " + path + ": " + std::strerror(errno));
  return std::unique_ptr<OutStream>(new OutStream(fd, path, true));
}

OutStream::~OutStream() {
  if (owned_ && fd_ >= 0) CloseFd(fd_);
}

void OutStream::WriteFailed() const {
  Fail("cannot write " + name_ + ": " + std::strerror(errno));
}

void OutStream::Write(const void* data, size_t size) {
  const auto* at = static_cast<const uint8_t*>(data);
  size_t done = 0;
  while (done < size) {
    const long long put = WriteSome(fd_, at + done, size - done);
    if (put <= 0) WriteFailed();
    done += static_cast<size_t>(put);
  }
}

void OutStream::WriteSpans(const std::vector<Span>& spans) {
#if defined(_WIN32)
  for (const Span& span : spans) Write(span.data, span.size);
#else
  size_t total = 0;
  for (const Span& span : spans) total += span.size;
  const size_t done =
      Vectored(spans, [this](const iovec* vec, int count) { return writev(fd_, vec, count); });
  if (done != total) WriteFailed();
#endif
}

void OutStream::Close() {
  if (!owned_ || fd_ < 0) return;
  const int fd = fd_;
  fd_ = -1;
#if defined(_WIN32)
  if (_close(fd) != 0) WriteFailed();
#else
  if (close(fd) != 0) WriteFailed();
#endif
}
