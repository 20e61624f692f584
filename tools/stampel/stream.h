// Files and pipes as the tool reads and writes them: unbuffered descriptors,
// whole-frame reads and writes straight from and into frame storage.
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

  int Descriptor() const { return fd_; }

 private:
  InStream(int fd, std::string name, bool owned);

  int fd_;
  std::string name_;
  bool owned_;
  bool isFile_ = false;
  int64_t size_ = 0;
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
  // Closes a file, reporting what the system only reports then.
  void Close();

 private:
  OutStream(int fd, std::string name, bool owned)
      : fd_(fd), name_(std::move(name)), owned_(owned) {}
  [[noreturn]] void WriteFailed() const;

  int fd_;
  std::string name_;
  bool owned_;
};
