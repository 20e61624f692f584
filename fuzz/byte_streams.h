// Fuzz input as the tool's streams: a regular file in memory, or a pipe that
// already holds every byte, and an in-memory file to write output into.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/stampel/stream.h"

enum class Source { kFile, kPipe };

// Null when the bytes do not fit a pipe's buffer.
std::unique_ptr<InStream> OpenBytes(const uint8_t* data, size_t size, Source source);

// An empty file in memory, open for as long as the object lives.
class MemoryFile {
 public:
  MemoryFile();
  ~MemoryFile();
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  // A path that opens this file.
  std::string Path() const;
  std::vector<uint8_t> Contents() const;

 private:
  int fd_;
};

// Prints what failed and aborts, which the fuzzer reports as a finding.
[[noreturn]] void FuzzFail(const char* target, const std::string& what);
