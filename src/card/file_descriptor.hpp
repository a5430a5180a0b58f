#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <utility>

// A file read with the system's own calls, closed with its owner. Where a
// file is read whole in a few blocks, this spares what stdio adds per file: a
// stat of the file and a buffer of its own to touch. Card files are opened
// through card/card_file.hpp.
class FileDescriptor {
 public:
  // Takes over `descriptor` (negative: no file).
  explicit FileDescriptor(int descriptor = -1) : descriptor_(descriptor) {}
  ~FileDescriptor() { Close(); }
  FileDescriptor(FileDescriptor&& other) noexcept : descriptor_(other.Release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      Close();
      descriptor_ = other.Release();
    }
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  explicit operator bool() const { return descriptor_ >= 0; }
  int get() const { return descriptor_; }
  // Hands the descriptor over to the caller; this no longer holds a file.
  int Release() { return std::exchange(descriptor_, -1); }
  void Close() {
    if (descriptor_ >= 0) {
      ::close(Release());
    }
  }

  // Reads up to `size` bytes, retrying interrupted reads. Returns the number
  // read; 0 at the end of the file and on a read error.
  std::size_t Read(char* buffer, std::size_t size) const {
    while (true) {
      const ssize_t got = ::read(descriptor_, buffer, size);
      if (got >= 0) {
        return static_cast<std::size_t>(got);
      }
      if (errno != EINTR) {
        return 0;
      }
    }
  }

 private:
  int descriptor_;
};
