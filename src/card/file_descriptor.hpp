#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

// A file opened for reading with the system's own calls, closed with its
// owner. Where a file is read whole in a few blocks, this spares what stdio
// adds per file: a stat of the file and a buffer of its own to touch.
class FileDescriptor {
 public:
  // `flags` are added to O_RDONLY | O_CLOEXEC: no program the process starts
  // inherits a file it opened.
  explicit FileDescriptor(const char* path, int flags = 0)
      : descriptor_(::open(path, O_RDONLY | O_CLOEXEC | flags)) {}
  ~FileDescriptor() {
    if (descriptor_ >= 0) {
      ::close(descriptor_);
    }
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  explicit operator bool() const { return descriptor_ >= 0; }
  int get() const { return descriptor_; }

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
