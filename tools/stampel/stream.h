// Files and pipes as the tool reads and writes them: unbuffered descriptors,
// whole-frame reads and writes straight from and into frame storage, and, for
// a regular file on a POSIX system, frames mapped from the input and output
// copied from it inside the kernel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A run of bytes in memory that one read or write fills or sends.
struct Span {
  uint8_t* data;
  size_t size;
};

class InStream {
 public:
  // path "-" is standard input. Raises Failure when it cannot be opened.
  static std::unique_ptr<InStream> Open(const std::string& path);
  ~InStream();
  InStream(const InStream&) = delete;
  InStream& operator=(const InStream&) = delete;

  // "standard input" or the path, for messages.
  const std::string& Name() const { return name_; }
  // Regular files have a size and can be read at an offset.
  bool IsFile() const { return isFile_; }
  int64_t Size() const { return size_; }

  // Reads until the spans are full or the input ends; returns the bytes read.
  size_t Read(void* data, size_t size);
  size_t ReadSpans(const std::vector<Span>& spans);
  // Reads at an offset of a regular file, leaving the stream's position alone.
  size_t ReadAt(int64_t offset, void* data, size_t size);

  // The next size bytes of a regular file, mapped privately: writing into
  // them changes this memory only (the pages written are copied then). The
  // stream moves past them. Null, with nothing consumed, when the input cannot
  // be mapped or holds fewer bytes. A view stays valid until two further
  // windows of the file have been mapped, so at least until the next call
  // that gives a view.
  uint8_t* MapNext(size_t size);
  // The file offset of [data, data + size) when a view holds it whole; -1
  // otherwise.
  int64_t OffsetOf(const uint8_t* data, size_t size) const;

  int Descriptor() const { return fd_; }

 private:
  InStream(int fd, std::string name, bool owned);

  struct Window {
    uint8_t* base = nullptr;
    int64_t offset = 0;  // of base in the file
    size_t length = 0;
  };
  void Unmap(Window& window);

  int fd_;
  std::string name_;
  bool owned_;
  bool isFile_ = false;
  int64_t size_ = 0;
  int64_t position_ = 0;  // of the descriptor, for a regular file
  bool mappable_ = false;
  Window windows_[2];  // the current one first
};

class OutStream {
 public:
  // path "-" is standard output. Refuses to open the input itself as output.
  static std::unique_ptr<OutStream> Open(const std::string& path, const InStream& input);
  ~OutStream();
  OutStream(const OutStream&) = delete;
  OutStream& operator=(const OutStream&) = delete;

  void Write(const void* data, size_t size);
  void WriteSpans(const std::vector<Span>& spans);
  // Writes prefix and then size bytes at data, which may be a view of the
  // input. Into a regular file or a pipe, the bytes of a view outside
  // [keepBegin, keepEnd) of data are copied from the input file inside the
  // kernel, and only that range is written from memory: the caller vouches
  // that the rest of the view is as the file has it.
  void WriteFromInput(const Span& prefix, const uint8_t* data, size_t size, size_t keepBegin,
                      size_t keepEnd);
  // Closes a file, reporting what the system only reports then.
  void Close();

 private:
  OutStream(int fd, std::string name, bool owned, const InStream& input);
  [[noreturn]] void WriteFailed() const;
  // Copies size bytes of the input file from offset inside the kernel;
  // returns the bytes copied, fewer when the system cannot copy between these
  // two files.
  size_t CopyFromInput(int64_t offset, size_t size);

  int fd_;
  std::string name_;
  bool owned_;
  const InStream& input_;
  // How the output takes bytes of the input file inside the kernel, as long
  // as the system has not refused.
  enum class KernelCopy { kNone, kFile, kPipe };
  KernelCopy kernelCopy_ = KernelCopy::kNone;
};
