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
#include <signal.h>
#include <sys/mman.h>
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

#if !defined(_WIN32)
// Bytes of the input mapped at a time: many frames, so that mapping costs
// little per frame, while two windows leave a 32-bit address space room.
constexpr int64_t kWindowBytes = int64_t{64} << 20;

// A mapped file that shrinks under the tool faults on the next access of a
// lost page. That ends the run with a message rather than a crash report.
char sigbusMessage[512];
size_t sigbusLength = 0;

extern "C" void OnLostPage(int) {
  const ssize_t ignored = write(2, sigbusMessage, sigbusLength);
  (void)ignored;
  _exit(1);
}

void ReportLostPages(const std::string& name) {
  if (sigbusLength) return;
  const std::string message = "stampel: " + name + " shrank while it was read\n";
  sigbusLength = std::min(message.size(), sizeof sigbusMessage);
  std::memcpy(sigbusMessage, message.data(), sigbusLength);
  struct sigaction action {};
  action.sa_handler = OnLostPage;
  sigemptyset(&action.sa_mask);
  sigaction(SIGBUS, &action, nullptr);
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
#if !defined(_WIN32)
    // Standard input may be a file read part-way already.
    position_ = static_cast<int64_t>(lseek(fd_, 0, SEEK_CUR));
    mappable_ = position_ >= 0;
#endif
  }
}

InStream::~InStream() {
  for (Window& window : windows_) Unmap(window);
  if (owned_) CloseFd(fd_);
}

void InStream::Unmap(Window& window) {
#if !defined(_WIN32)
  if (window.base) munmap(window.base, window.length);
#endif
  window = Window{};
}

uint8_t* InStream::MapNext(size_t size) {
#if defined(_WIN32)
  (void)size;
  return nullptr;
#else
  if (!mappable_ || size == 0 || static_cast<int64_t>(size) > size_ - position_) return nullptr;
  const int64_t end = position_ + static_cast<int64_t>(size);
  Window& current = windows_[0];
  if (!current.base || position_ < current.offset ||
      end > current.offset + static_cast<int64_t>(current.length)) {
    const int64_t page = sysconf(_SC_PAGESIZE);
    const int64_t start = position_ / page * page;
    const int64_t length = std::min(std::max(kWindowBytes, end - start), size_ - start);
    if (static_cast<uint64_t>(length) > SIZE_MAX || static_cast<off_t>(start) != start) {
      mappable_ = false;
      return nullptr;
    }
    void* base = mmap(nullptr, static_cast<size_t>(length), PROT_READ | PROT_WRITE, MAP_PRIVATE,
                      fd_, static_cast<off_t>(start));
    if (base == MAP_FAILED) {
      mappable_ = false;  // the descriptor's reads still serve
      return nullptr;
    }
    ReportLostPages(name_);
    Unmap(windows_[1]);
    windows_[1] = current;
    current = Window{static_cast<uint8_t*>(base), start, static_cast<size_t>(length)};
  }
  if (lseek(fd_, static_cast<off_t>(end), SEEK_SET) != static_cast<off_t>(end)) {
    Fail("cannot seek in " + name_ + ": " + std::strerror(errno));
  }
  uint8_t* view = current.base + (position_ - current.offset);
  position_ = end;
  return view;
#endif
}

int64_t InStream::OffsetOf(const uint8_t* data, size_t size) const {
  for (const Window& window : windows_) {
    if (!window.base) continue;
    const auto at = reinterpret_cast<uintptr_t>(data);
    const auto base = reinterpret_cast<uintptr_t>(window.base);
    if (at >= base && at - base <= window.length && size <= window.length - (at - base)) {
      return window.offset + static_cast<int64_t>(at - base);
    }
  }
  return -1;
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
  position_ += static_cast<int64_t>(done);
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
  position_ += static_cast<int64_t>(done);
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
    return std::unique_ptr<OutStream>(new OutStream(1, "standard output", false, input));
  }
#if !defined(_WIN32)
  // Truncating the input before reading it would lose it.
  struct stat in;
  struct stat out;
  if (input.IsFile() && fstat(input.Descriptor(), &in) == 0 && stat(path.c_str(), &out) == 0 &&
      in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
    Fail(path + " is the input; give another output");
  }
#endif
  const int fd = OpenOut(path);
  if (fd < 0) Fail("cannot create " + path + ": " + std::strerror(errno));
  return std::unique_ptr<OutStream>(new OutStream(fd, path, true, input));
}

OutStream::OutStream(int fd, std::string name, bool owned, const InStream& input)
    : fd_(fd), name_(std::move(name)), owned_(owned), input_(input) {
#if defined(__linux__)
  struct stat st;
  if (input.IsFile() && fstat(fd_, &st) == 0) {
    if (S_ISREG(st.st_mode)) kernelCopy_ = KernelCopy::kFile;
    if (S_ISFIFO(st.st_mode)) kernelCopy_ = KernelCopy::kPipe;
  }
#endif
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

void OutStream::WriteFromInput(const Span& prefix, const uint8_t* data, size_t size,
                               size_t keepBegin, size_t keepEnd) {
  const int64_t offset = kernelCopy_ != KernelCopy::kNone ? input_.OffsetOf(data, size) : -1;
  if (offset < 0 || keepBegin > keepEnd || keepEnd > size) {
    std::vector<Span> spans;
    if (prefix.size) spans.push_back(prefix);
    spans.push_back(Span{const_cast<uint8_t*>(data), size});
    WriteSpans(spans);
    return;
  }
  Write(prefix.data, prefix.size);
  // What the kernel cannot copy is written from the view, which holds the
  // same bytes.
  auto copy = [&](size_t from, size_t to) {
    const size_t copied = CopyFromInput(offset + static_cast<int64_t>(from), to - from);
    Write(data + from + copied, to - from - copied);
  };
  copy(0, keepBegin);
  Write(data + keepBegin, keepEnd - keepBegin);
  copy(keepEnd, size);
}

size_t OutStream::CopyFromInput(int64_t offset, size_t size) {
  size_t done = 0;
#if defined(__linux__)
  loff_t from = offset;
  while (kernelCopy_ != KernelCopy::kNone && done < size) {
    // Into a pipe, splice hands over references to the input's cached pages.
    const ssize_t moved =
        kernelCopy_ == KernelCopy::kFile
            ? copy_file_range(input_.Descriptor(), &from, fd_, nullptr, size - done, 0)
            : splice(input_.Descriptor(), &from, fd_, nullptr, size - done, SPLICE_F_MORE);
    if (moved < 0 && errno == EINTR) continue;
    if (moved < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                      errno == EBADF)) {
      kernelCopy_ = KernelCopy::kNone;  // not between these two; write from memory from now on
      break;
    }
    if (moved < 0) WriteFailed();
    if (moved == 0) Fail(input_.Name() + " shrank while it was read");
    done += static_cast<size_t>(moved);
  }
#else
  (void)offset;
  (void)size;
#endif
  return done;
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
