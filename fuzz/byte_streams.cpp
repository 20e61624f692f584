#include "fuzz/byte_streams.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

std::string FdPath(int fd) {
  return "/proc/self/fd/" + std::to_string(fd);
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t put = write(fd, data, size);
    if (put <= 0) return false;
    data += put;
    size -= static_cast<size_t>(put);
  }
  return true;
}

}  // namespace

std::unique_ptr<InStream> OpenBytes(const uint8_t* data, size_t size, Source source) {
  if (source == Source::kFile) {
    MemoryFile file;
    const std::string path = file.Path();
    {
      const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
      if (fd < 0 || !WriteAll(fd, data, size)) FuzzFail("streams", "cannot fill a memory file");
      close(fd);
    }
    // The stream's own descriptor keeps the file alive.
    return InStream::Open(path);
  }
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) FuzzFail("streams", "cannot make a pipe");
  const int capacity = fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);
  std::unique_ptr<InStream> stream;
  if (capacity > 0 && size <= static_cast<size_t>(capacity)) {
    if (!WriteAll(fds[1], data, size)) FuzzFail("streams", "cannot fill a pipe");
    close(fds[1]);
    fds[1] = -1;
    stream = InStream::Open(FdPath(fds[0]));
  }
  close(fds[0]);
  if (fds[1] >= 0) close(fds[1]);
  return stream;
}

MemoryFile::MemoryFile() : fd_(memfd_create("fuzz", MFD_CLOEXEC)) {
  if (fd_ < 0) FuzzFail("streams", "cannot make a memory file");
}

MemoryFile::~MemoryFile() {
  close(fd_);
}

std::string MemoryFile::Path() const {
  return FdPath(fd_);
}

std::vector<uint8_t> MemoryFile::Contents() const {
  const off_t size = lseek(fd_, 0, SEEK_END);
  std::vector<uint8_t> bytes(size > 0 ? static_cast<size_t>(size) : 0);
  if (!bytes.empty() && pread(fd_, bytes.data(), bytes.size(), 0) != size) {
    FuzzFail("streams", "cannot read a memory file back");
  }
  return bytes;
}

void FuzzFail(const char* target, const std::string& what) {
  std::fprintf(stderr, "%s fuzz: %s\n", target, what.c_str());
  std::abort();
}
