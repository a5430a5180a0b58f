#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>

// The one way the library reads a request body: read(2) on the input's
// descriptor, asking for no more than the declared length leaves. A CGI
// program may read no more of its input than CONTENT_LENGTH declares, and
// the server need not end the input there: a reader that asked for one byte
// more could wait for ever, and a buffered stream (stdio reads 4 KiB blocks)
// would take bytes that the programs the request starts, which inherit the
// input, then miss.

// Reads up to `size` bytes from `descriptor` into `buffer`: their number (0
// at the end of the input), or nothing on a read error. A non-blocking
// descriptor without data is waited for, up to 60 s at a time; when nothing
// comes, the input has ended there (so the body is not whole).
std::optional<std::size_t> CgiReadInput(int descriptor, char* buffer, std::size_t size);

// The first `length` bytes of a descriptor as a stream of their own, which
// ends after them.
class BoundedInput {
 public:
  BoundedInput(int descriptor, std::uint64_t length);
  // The bounded stream goes; the descriptor stays open.
  ~BoundedInput();
  BoundedInput(const BoundedInput&) = delete;
  BoundedInput& operator=(const BoundedInput&) = delete;

  std::FILE* stream() const { return stream_; }
  // The bytes taken from the descriptor so far.
  std::uint64_t received() const { return received_; }
  // Takes and drops the rest of the length, as far as the input has it.
  void Drain();

 private:
  static ssize_t Read(void* cookie, char* buffer, std::size_t size);

  int descriptor_;
  std::uint64_t left_;
  std::uint64_t received_ = 0;
  std::FILE* stream_ = nullptr;
};
